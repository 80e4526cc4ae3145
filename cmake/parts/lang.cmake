# Language texts: the two language resources in the programs, their tests, the independent check
# of the resource files and the reader's fuzzer.
set(KLU_LANGUAGE_DIR ${CMAKE_SOURCE_DIR}/resources)
set(KLU_LANGUAGE_FILES ${KLU_LANGUAGE_DIR}/QVI_XMLFILE.xml ${KLU_LANGUAGE_DIR}/LU_XMLFILE.xml)

if(KLU_WIN32)
  # Win32: the files become RCDATA resources named QVI_XMLFILE and LU_XMLFILE. A program that shows
  # texts links the object library (target_link_libraries(prog PRIVATE klu_language_resources))
  # or adds ${KLU_LANGUAGE_RC} to its sources.
  enable_language(RC)
  set(KLU_LANGUAGE_RC ${KLU_LANGUAGE_DIR}/languages.rc)
  set_source_files_properties(${KLU_LANGUAGE_RC} PROPERTIES OBJECT_DEPENDS "${KLU_LANGUAGE_FILES}")
  add_library(klu_language_resources OBJECT ${KLU_LANGUAGE_RC})
  target_include_directories(klu_language_resources PRIVATE ${KLU_LANGUAGE_DIR})
else()
  # Natively the same files are built into the platform layer as byte arrays, so that
  # platform::LoadProgramResource finds them by the same names.
  set(lang_embedded ${CMAKE_BINARY_DIR}/generated/EmbeddedResources.cpp)
  add_custom_command(
    OUTPUT ${lang_embedded}
    COMMAND ${CMAKE_COMMAND} -DOUTPUT=${lang_embedded}
            "-DRESOURCES=QVI_XMLFILE=${KLU_LANGUAGE_DIR}/QVI_XMLFILE.xml\;LU_XMLFILE=${KLU_LANGUAGE_DIR}/LU_XMLFILE.xml"
            -P ${CMAKE_SOURCE_DIR}/cmake/lang/EmbedResources.cmake
    DEPENDS ${KLU_LANGUAGE_FILES} ${CMAKE_SOURCE_DIR}/cmake/lang/EmbedResources.cmake
    COMMENT "Embedding the language resources")
  target_sources(klu_platform PRIVATE ${lang_embedded})
endif()

# The language table loaded from the program's own resources: natively and under Wine.
file(GLOB KLU_LANG_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/lang/*_test.cpp)
klu_add_test_program(lang_resource_tests SOURCES ${KLU_LANG_TESTS} LIBS klu_platform)
if(KLU_WIN32 AND TARGET lang_resource_tests)
  target_link_libraries(lang_resource_tests PRIVATE klu_language_resources)
endif()

# The resource files read by an independent reader and compared with the expected texts.
if(NOT KLU_WIN32)
  find_program(KLU_PYTHON3 NAMES python3)
  if(KLU_PYTHON3)
    add_test(NAME lang_check_resources
             COMMAND ${KLU_PYTHON3} ${CMAKE_SOURCE_DIR}/tests/lang/check_resources.py
                     ${KLU_LANGUAGE_DIR} ${CMAKE_SOURCE_DIR}/tests/lang/expected_texts.tsv
                     ${CMAKE_SOURCE_DIR}/tests/lang/presence_matrix.tsv)
    set_tests_properties(lang_check_resources PROPERTIES TIMEOUT 60)
  endif()
endif()

# The reader and the table under libFuzzer, seeded with the two resources.
if(KLU_FUZZ)
  set(lang_seeds ${CMAKE_BINARY_DIR}/fuzz-seeds/lang_reader)
  foreach(seed ${KLU_LANGUAGE_FILES})
    get_filename_component(seed_name ${seed} NAME)
    configure_file(${seed} ${lang_seeds}/${seed_name} COPYONLY)
  endforeach()
  klu_add_fuzzer(lang_reader SOURCES ${CMAKE_SOURCE_DIR}/tests/fuzz/lang_reader_fuzz.cpp CORPUS ${lang_seeds})
endif()
