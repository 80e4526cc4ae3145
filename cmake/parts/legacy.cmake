# The legacy ZIP decoders' fuzzers (shrink, reduce, implode). Their seeds are the compressed
# entries of the shared test archives, cut out into the build folder at configure time.
if(KLU_FUZZ)
  set(_klu_legacy_vectors ${KLU_VECTORS_DIR})
  set(_klu_legacy_seeds ${CMAKE_BINARY_DIR}/fuzz-seeds/legacy)
  find_package(Python3 COMPONENTS Interpreter)
  if(Python3_FOUND AND EXISTS ${_klu_legacy_vectors})
    execute_process(COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/fuzz/legacy_seeds.py
                            ${_klu_legacy_vectors} ${_klu_legacy_seeds}
                    RESULT_VARIABLE _klu_legacy_seed_status OUTPUT_QUIET)
    if(NOT _klu_legacy_seed_status EQUAL 0)
      message(WARNING "legacy fuzz seeds could not be cut from ${_klu_legacy_vectors}")
    endif()
  endif()
  # The decoder's own source is compiled into its fuzzer, so that libFuzzer's coverage reaches
  # inside it (klu_core itself is built without coverage); the library's copy is then not linked.
  foreach(_klu_legacy Unshrink Unreduce Explode)
    string(TOLOWER ${_klu_legacy} _klu_name)
    file(MAKE_DIRECTORY ${_klu_legacy_seeds}/${_klu_name})
    klu_add_fuzzer(${_klu_name} SOURCES ${CMAKE_SOURCE_DIR}/tests/fuzz/${_klu_name}_fuzz.cpp
                                        ${CMAKE_SOURCE_DIR}/src/core/zip/${_klu_legacy}.cpp
                   CORPUS ${_klu_legacy_seeds}/${_klu_name})
  endforeach()
endif()
