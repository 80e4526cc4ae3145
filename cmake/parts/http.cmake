# The HTTP client over real sockets: a test program run with the scripted server around it
# (tests/servers/with-server.sh), natively and under Wine; the nginx and tinyproxy checks of
# klu-get; the response reader's fuzzer.
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
endif()

klu_add_fuzzer(http_response SOURCES ${CMAKE_SOURCE_DIR}/tests/fuzz/http_response_fuzz.cpp
               CORPUS ${CMAKE_SOURCE_DIR}/tests/fuzz/http_response_seeds)
