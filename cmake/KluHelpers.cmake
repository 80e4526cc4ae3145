# The shared test archives of the legacy methods, with their MANIFEST.tsv: read in place by the
# test programs (KLU_VECTORS_DIR) and the fuzzers' seed scripts, never copied into the tree.
get_filename_component(_klu_default_vectors ${CMAKE_SOURCE_DIR}/../shared/vectors ABSOLUTE)
set(KLU_VECTORS_DIR ${_klu_default_vectors} CACHE PATH "Folder of the shared test archives and their MANIFEST.tsv")

# The tests' own support (tests/support): in-memory byte streams, the bit writer, the manifest
# and central-directory readers. Header-only, for the test programs and the fuzzers alike.
add_library(klu_test_support INTERFACE)
target_include_directories(klu_test_support INTERFACE ${CMAKE_SOURCE_DIR}/tests)
target_compile_definitions(klu_test_support INTERFACE KLU_VECTORS_DIR="${KLU_VECTORS_DIR}")

# klu_add_test_program(NAME SOURCES ... LIBS ... [LABELS ...])
# One GoogleTest program registered with ctest as a whole: under Wine a single process runs every
# case, which is far cheaper than one Wine process per case.
function(klu_add_test_program name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT ARG_SOURCES)
    return()
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} klu_test_support ${KLU_GTEST_LIBS})
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

# klu_add_fuzzer(NAME SOURCES ... [LIBS ...] [CORPUS dir])
# A libFuzzer target, built only in the fuzz preset (clang). ctest runs it briefly over its seed
# corpus (KLU_FUZZ_SECONDS, 10 s by default); `make fuzz` runs it longer.
set(KLU_FUZZ_SECONDS 10 CACHE STRING "Seconds each fuzzer runs under ctest")
function(klu_add_fuzzer name)
  cmake_parse_arguments(ARG "" "CORPUS" "SOURCES;LIBS" ${ARGN})
  if(NOT KLU_FUZZ)
    return()
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} klu_core klu_test_support)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzzers)
  set(work ${CMAKE_BINARY_DIR}/fuzz-corpus/${name})
  set(seeds "")
  if(ARG_CORPUS)
    set(seeds ${ARG_CORPUS})
  endif()
  add_test(NAME fuzz_${name}
           COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=1
                   sh -c "mkdir -p '${work}' && exec \"$0\" -max_total_time=${KLU_FUZZ_SECONDS} -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 '${work}' ${seeds}"
                   $<TARGET_FILE:${name}>)
  math(EXPR fuzz_timeout "${KLU_FUZZ_SECONDS} + 120")
  set_tests_properties(fuzz_${name} PROPERTIES TIMEOUT ${fuzz_timeout} LABELS fuzz)
endfunction()
