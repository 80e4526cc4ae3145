# The ZIP extractor's extra pieces: a test program of its own for working on it alone (not run by
# ctest; core_tests holds the same tests), the cross-check against other ZIP tools, and fuzzers.
file(GLOB KLU_ZIP_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/core/Zip*_test.cpp)
if(KLU_ZIP_TESTS AND NOT KLU_FUZZ)
  add_executable(zip_tests EXCLUDE_FROM_ALL ${KLU_ZIP_TESTS})
  target_link_libraries(zip_tests PRIVATE klu_platform ${KLU_GTEST_LIBS})
  target_include_directories(zip_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests ${CMAKE_SOURCE_DIR}/src)
  target_compile_definitions(zip_tests PRIVATE KLU_SOURCE_DIR="${CMAKE_SOURCE_DIR}" KLU_BINARY_DIR="${CMAKE_BINARY_DIR}")
  if(KLU_WIN32)
    target_link_options(zip_tests PRIVATE -mconsole)
  endif()
endif()
