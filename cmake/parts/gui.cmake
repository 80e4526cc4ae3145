# The program KestrumLiveUpdate.exe (window, retry dialog, resources), the end-to-end driver and
# the demo's stand-in application: Win32 only.
if(KLU_WIN32 AND NOT KLU_FUZZ)
  enable_language(RC)
  set(KLU_GUI_RC ${CMAKE_SOURCE_DIR}/resources/KestrumLiveUpdate.rc)
  file(GLOB KLU_GUI_PICTURES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/resources/pictures/*.bmp
       ${CMAKE_SOURCE_DIR}/resources/pictures/*.ico)
  set_source_files_properties(${KLU_GUI_RC} PROPERTIES OBJECT_DEPENDS
    "${KLU_GUI_PICTURES};${CMAKE_SOURCE_DIR}/resources/KestrumLiveUpdate.manifest;${CMAKE_SOURCE_DIR}/src/gui/ControlIds.h")
  file(GLOB KLU_GUI_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/gui/*.cpp)
  add_executable(KestrumLiveUpdate ${KLU_GUI_SOURCES} ${KLU_GUI_RC})
  target_include_directories(KestrumLiveUpdate PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/resources)
  target_link_libraries(KestrumLiveUpdate PRIVATE klu_worker klu_language_resources comctl32 gdi32)
  target_link_options(KestrumLiveUpdate PRIVATE -mwindows)
  # Only KERNEL32, ADVAPI32 and the C run-time are imported at start; the window libraries are
  # loaded on first use, once the program has limited DLL loading to the system folder, so that
  # neither they nor their own dependencies can come from a DLL planted beside the program.
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  find_program(KLU_LLD NAMES ld.lld ld.lld-14)
  find_program(KLU_LLVM_DLLTOOL NAMES llvm-dlltool llvm-dlltool-14)
  if(NOT KLU_LLD OR NOT KLU_LLVM_DLLTOOL)
    message(FATAL_ERROR "KestrumLiveUpdate.exe needs ld.lld and llvm-dlltool (packages lld-14 and llvm-14)")
  endif()
  set_target_properties(KestrumLiveUpdate PROPERTIES RULE_LAUNCH_LINK
    "${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/cmake/delayload_link.py --dlls USER32.dll,GDI32.dll,COMCTL32.DLL,SHELL32.dll,ole32.dll --work ${CMAKE_BINARY_DIR}/delayload --")

  # The planting suite: a DLL that leaves a marker when loaded, and a probe that loads DLLs the
  # plain way, to show that the planted copies would be taken by a program that did not guard.
  add_library(e2e_planted SHARED ${CMAKE_SOURCE_DIR}/tests/e2e/planted_dll.c)
  set_target_properties(e2e_planted PROPERTIES PREFIX "" OUTPUT_NAME "planted")
  add_executable(e2e_planting_probe ${CMAKE_SOURCE_DIR}/tests/e2e/planting_probe.c)
  target_link_options(e2e_planting_probe PRIVATE -mconsole)
  # ... and a command interpreter that leaves a marker when started.
  add_executable(e2e_planted_cmd ${CMAKE_SOURCE_DIR}/tests/e2e/planted_cmd.c)
  set_target_properties(e2e_planted_cmd PROPERTIES OUTPUT_NAME "planted_cmd")
  target_link_options(e2e_planted_cmd PRIVATE -mconsole)

  # The end-to-end driver: finds the window and its controls, reads, types, presses, answers.
  add_executable(e2e_driver ${CMAKE_SOURCE_DIR}/tests/e2e/driver.cpp)
  target_include_directories(e2e_driver PRIVATE ${CMAKE_SOURCE_DIR}/src)
  target_link_libraries(e2e_driver PRIVATE user32 gdi32)
  target_link_options(e2e_driver PRIVATE -mconsole)

  # The demo's stand-in application.
  add_executable(Pluvion ${CMAKE_SOURCE_DIR}/demo/Pluvion.cpp)
  target_link_libraries(Pluvion PRIVATE user32 gdi32)
  target_link_options(Pluvion PRIVATE -mwindows)
endif()
