# The HTTP client over real sockets: a test program run with the scripted server around it
# (tests/servers/with-server.sh), natively and under Wine; the nginx and tinyproxy checks of
# klu-get and its resuming behind a cutting proxy; the response reader's fuzzer.
add_executable(http_socket_tests ${CMAKE_SOURCE_DIR}/tests/http/HttpSocket_test.cpp)
target_link_libraries(http_socket_tests PRIVATE klu_platform ${KLU_GTEST_LIBS})
target_include_directories(http_socket_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests ${CMAKE_SOURCE_DIR}/src)
set(_klu_http_runner "")
if(KLU_WIN32)
  target_link_options(http_socket_tests PRIVATE -mconsole)
  set(_klu_http_runner ${CMAKE_CROSSCOMPILING_EMULATOR})
endif()
add_test(NAME http_socket_tests
         COMMAND ${CMAKE_SOURCE_DIR}/tests/servers/with-server.sh ${_klu_http_runner}
                 $<TARGET_FILE:http_socket_tests> --gtest_color=no)
set_tests_properties(http_socket_tests PROPERTIES TIMEOUT 300 LABELS http)

if(TARGET klu-get)
  add_test(NAME http_real_servers
           COMMAND ${CMAKE_SOURCE_DIR}/tests/servers/real-servers.sh ${CMAKE_BINARY_DIR}/http-real-servers
                   ${_klu_http_runner} $<TARGET_FILE:klu-get>)
  set_tests_properties(http_real_servers PROPERTIES TIMEOUT 300 LABELS http)
  # klu-get's resumed downloads against the scripted server's cut answers.
  add_test(NAME http_klu_get_resume
           COMMAND ${CMAKE_SOURCE_DIR}/tests/servers/with-server.sh ${CMAKE_SOURCE_DIR}/tests/http/klu_get_resume.sh
                   ${_klu_http_runner} $<TARGET_FILE:klu-get>)
  set_tests_properties(http_klu_get_resume PROPERTIES TIMEOUT 300 LABELS http)
  # Resuming against nginx's own range support, through a proxy that cuts every connection.
  add_test(NAME http_resume_real
           COMMAND ${CMAKE_SOURCE_DIR}/tests/servers/resume-real.sh ${CMAKE_BINARY_DIR}/http-resume-real
                   ${_klu_http_runner} $<TARGET_FILE:klu-get>)
  set_tests_properties(http_resume_real PROPERTIES TIMEOUT 400 LABELS http)
endif()

klu_add_fuzzer(http_response SOURCES ${CMAKE_SOURCE_DIR}/tests/fuzz/http_response_fuzz.cpp
               CORPUS ${CMAKE_SOURCE_DIR}/tests/fuzz/http_response_seeds)

# DLL planting: klu-get beside a planted WS2_32.DLL must still load the system's (Wine only).
if(KLU_WIN32 AND TARGET klu-get)
  set(_klu_planting_dir ${CMAKE_BINARY_DIR}/http-planting)
  add_library(planted_ws2_32 SHARED ${CMAKE_SOURCE_DIR}/tests/http/planted_ws2_32.c)
  target_link_options(planted_ws2_32 PRIVATE -Wl,--kill-at)
  set_target_properties(planted_ws2_32 PROPERTIES PREFIX "" OUTPUT_NAME "WS2_32"
                        RUNTIME_OUTPUT_DIRECTORY ${_klu_planting_dir})
  add_executable(planting_probe ${CMAKE_SOURCE_DIR}/tests/http/planting_probe.cpp)
  target_link_options(planting_probe PRIVATE -mconsole)
  set_target_properties(planting_probe PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${_klu_planting_dir})
  add_custom_command(TARGET klu-get POST_BUILD
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${_klu_planting_dir}
                     COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:klu-get> ${_klu_planting_dir}/klu-get.exe)
  add_dependencies(planting_probe planted_ws2_32 klu-get)
  add_test(NAME http_dll_planting
           COMMAND ${CMAKE_SOURCE_DIR}/tests/servers/with-server.sh
                   ${CMAKE_SOURCE_DIR}/tests/servers/planting.sh ${_klu_planting_dir})
  set_tests_properties(http_dll_planting PROPERTIES TIMEOUT 120 LABELS http)
endif()
