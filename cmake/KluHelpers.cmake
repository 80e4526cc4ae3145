# klu_add_test_program(NAME SOURCES ... LIBS ... [LABELS ...])
# One GoogleTest program registered with ctest as a whole: under Wine a single process runs every
# case, which is far cheaper than one Wine process per case.
function(klu_add_test_program name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT ARG_SOURCES)
    return()
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} ${KLU_GTEST_LIBS})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests ${CMAKE_SOURCE_DIR}/src)
  target_compile_definitions(${name} PRIVATE
    KLU_SOURCE_DIR="${CMAKE_SOURCE_DIR}" KLU_BINARY_DIR="${CMAKE_BINARY_DIR}")
  if(KLU_WIN32)
    # Console program, so that GoogleTest's report reaches ctest.
    target_link_options(${name} PRIVATE -mconsole)
  endif()
  add_test(NAME ${name} COMMAND ${name} --gtest_color=no)
  set_tests_properties(${name} PROPERTIES TIMEOUT 600 LABELS "${ARG_LABELS}")
endfunction()
