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
