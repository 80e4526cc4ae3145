# TLS for "https" addresses: OpenSSL natively (the Win32 build loads Schannel at run time and
# links nothing for it). The TLS test program runs with the TLS servers of tests/servers around
# it, natively and under Wine (there in a prefix of its own that trusts the test authority).
if(NOT KLU_WIN32)
  find_package(OpenSSL REQUIRED)
  target_link_libraries(klu_platform PUBLIC OpenSSL::SSL OpenSSL::Crypto)
endif()

if(NOT KLU_SKIP_TESTS)
  add_executable(tls_tests ${CMAKE_SOURCE_DIR}/tests/tls/Tls_test.cpp)
  target_link_libraries(tls_tests PRIVATE klu_platform ${KLU_GTEST_LIBS})
  target_include_directories(tls_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests ${CMAKE_SOURCE_DIR}/src)
  set(_klu_tls_runner "")
  set(_klu_tls_env "")
  if(KLU_WIN32)
    target_link_options(tls_tests PRIVATE -mconsole)
    add_executable(trust_root ${CMAKE_SOURCE_DIR}/tests/tls/trust_root.c)
    target_link_libraries(trust_root PRIVATE crypt32)
    target_link_options(trust_root PRIVATE -mconsole)
    add_dependencies(tls_tests trust_root)
    set(_klu_tls_runner ${CMAKE_CROSSCOMPILING_EMULATOR})
    set(_klu_tls_env KLU_TLS_TRUST_ROOT=$<TARGET_FILE:trust_root>)
  endif()
  add_test(NAME tls_tests
           COMMAND ${CMAKE_COMMAND} -E env ${_klu_tls_env}
                   ${CMAKE_SOURCE_DIR}/tests/servers/with-tls.sh ${CMAKE_BINARY_DIR}/tls-servers
                   ${_klu_tls_runner} $<TARGET_FILE:tls_tests> --gtest_color=no)
  set_tests_properties(tls_tests PROPERTIES TIMEOUT 300 LABELS http)
endif()

# The TLS layer's record handling against an in-process OpenSSL server.
if(NOT KLU_WIN32)
  klu_add_fuzzer(tls_record SOURCES ${CMAKE_SOURCE_DIR}/tests/fuzz/tls_record_fuzz.cpp
                 ${CMAKE_SOURCE_DIR}/src/platform/posix/TlsOpenSsl.cpp
                 LIBS OpenSSL::SSL OpenSSL::Crypto CORPUS ${CMAKE_SOURCE_DIR}/tests/fuzz/tls_record_seeds)
endif()
