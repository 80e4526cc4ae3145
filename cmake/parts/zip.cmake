# The ZIP extractor's extra pieces: the cross-check against other ZIP tools, and fuzzers.

# A script that drives klu-unzip: natively, or the Win32 build under Wine.
function(klu_add_unzip_script name script)
  if(KLU_WIN32)
    add_test(NAME ${name} COMMAND ${CMAKE_SOURCE_DIR}/${script} $<TARGET_FILE:klu-unzip>
             ${CMAKE_SOURCE_DIR}/tests/wine/wine-run)
  else()
    add_test(NAME ${name} COMMAND ${CMAKE_SOURCE_DIR}/${script} $<TARGET_FILE:klu-unzip>)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT 600)
endfunction()

# Cross-check against Info-ZIP zip and unzip, 7z and Python's zipfile (native tools; the Win32
# klu-unzip runs under Wine).
find_program(KLU_ZIP_TOOL zip)
find_program(KLU_7Z_TOOL 7z)
find_program(KLU_UNZIP_TOOL unzip)
if(NOT KLU_FUZZ AND KLU_ZIP_TOOL AND KLU_7Z_TOOL AND KLU_UNZIP_TOOL)
  klu_add_unzip_script(zip_crosscheck tests/zip/crosscheck.sh)
endif()

# Archives of the real writers in their streamed layouts (Info-ZIP zip, 7z, bsdtar, Python's
# zipfile, and jar when a JDK is there), made at test time.
find_program(KLU_BSDTAR_TOOL bsdtar)
if(NOT KLU_FUZZ AND KLU_ZIP_TOOL AND KLU_7Z_TOOL AND KLU_BSDTAR_TOOL)
  klu_add_unzip_script(zip_writers tests/zip/writers.sh)
endif()

# Fuzzers: a whole archive through the extractor, and the inflate decoder (the core they link
# carries the fuzzer's coverage).
if(KLU_FUZZ)
  set(_klu_zip_seeds ${CMAKE_BINARY_DIR}/fuzz-seeds/zip)
  find_package(Python3 COMPONENTS Interpreter)
  if(Python3_FOUND)
    execute_process(COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/fuzz/zip_seeds.py ${_klu_zip_seeds}
                    RESULT_VARIABLE _klu_zip_seed_status OUTPUT_QUIET)
  endif()
  file(MAKE_DIRECTORY ${_klu_zip_seeds}/zip_inflate ${_klu_zip_seeds}/zip_archive)
  klu_add_fuzzer(zip_inflate SOURCES ${CMAKE_SOURCE_DIR}/tests/fuzz/zip_inflate_fuzz.cpp
                 CORPUS ${_klu_zip_seeds}/zip_inflate)
  set(_klu_zip_archive_corpus ${_klu_zip_seeds}/zip_archive)
  if(EXISTS ${KLU_VECTORS_DIR})
    # The shared legacy-method archives are read in place as further seeds.
    set(_klu_zip_archive_corpus "${_klu_zip_seeds}/zip_archive ${KLU_VECTORS_DIR}")
  endif()
  klu_add_fuzzer(zip_archive SOURCES ${CMAKE_SOURCE_DIR}/tests/fuzz/zip_archive_fuzz.cpp
                 CORPUS ${_klu_zip_archive_corpus})
endif()
