# Signed packages: the publisher's key built into the installer, the check's cryptography (CNG on
# Win32, libcrypto natively), the publisher's tool klu-sign (native only) and the signing tests.

# KLU_PACKAGE_KEY: the path of the publisher's P-256 public key (PEM). Empty: packages are not
# checked, as before. Set: the key is built in and every package must be signed with it.
set(KLU_PACKAGE_KEY "" CACHE FILEPATH "PEM public key whose signature every package must carry (empty: none)")

if(KLU_WIN32 AND TARGET klu_worker)
  set(KLU_PACKAGE_KEY_PEM "")
  if(KLU_PACKAGE_KEY)
    if(NOT EXISTS ${KLU_PACKAGE_KEY})
      message(FATAL_ERROR "KLU_PACKAGE_KEY: ${KLU_PACKAGE_KEY} does not exist")
    endif()
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${KLU_PACKAGE_KEY})
    file(READ ${KLU_PACKAGE_KEY} _klu_key_text)
    # One "PUBLIC KEY" block whose body is the 91-byte SubjectPublicKeyInfo of a P-256 point in
    # uncompressed form: its first 27 bytes are always the same, and so are the first 36 base64
    # characters.
    string(REGEX MATCH "-----BEGIN PUBLIC KEY-----([A-Za-z0-9+/=\r\n]*)-----END PUBLIC KEY-----" _klu_key_block "${_klu_key_text}")
    string(REGEX REPLACE "[\r\n]" "" _klu_key_body "${CMAKE_MATCH_1}")
    if(NOT _klu_key_body MATCHES "^MFkwEwYHKoZIzj0CAQYIKoZIzj0DAQcDQgAE[A-Za-z0-9+/]+==$")
      message(FATAL_ERROR "KLU_PACKAGE_KEY: ${KLU_PACKAGE_KEY} holds no P-256 public key in PEM form")
    endif()
    string(LENGTH "${_klu_key_body}" _klu_key_length)
    if(NOT _klu_key_length EQUAL 124)
      message(FATAL_ERROR "KLU_PACKAGE_KEY: ${KLU_PACKAGE_KEY} holds no P-256 public key in PEM form")
    endif()
    set(KLU_PACKAGE_KEY_PEM "-----BEGIN PUBLIC KEY-----\\n${_klu_key_body}\\n-----END PUBLIC KEY-----\\n")
    message(STATUS "Packages must be signed with the key in ${KLU_PACKAGE_KEY}")
  endif()
  configure_file(${CMAKE_SOURCE_DIR}/src/worker/PackageKey.cpp.in ${CMAKE_BINARY_DIR}/generated/PackageKey.cpp @ONLY)
  target_sources(klu_worker PRIVATE ${CMAKE_BINARY_DIR}/generated/PackageKey.cpp)
endif()

if(NOT KLU_WIN32)
  find_package(OpenSSL REQUIRED COMPONENTS Crypto)
  target_link_libraries(klu_platform PUBLIC OpenSSL::Crypto)
  if(NOT KLU_FUZZ)
    add_executable(klu-sign ${CMAKE_SOURCE_DIR}/tools/native/klu-sign.cpp)
    target_link_libraries(klu-sign PRIVATE klu_platform)
    set_target_properties(klu-sign PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)
  endif()
endif()

# The real cryptography against the format's second signer and the ZIP tools: klu-sign and
# klu-unzip --key natively, klu-unzip --key under Wine (CNG).
if(NOT KLU_FUZZ AND TARGET klu-unzip)
  if(KLU_WIN32)
    add_test(NAME signing_cng COMMAND ${CMAKE_SOURCE_DIR}/tests/sign/signing_test.sh wine
             $<TARGET_FILE:klu-unzip> ${CMAKE_SOURCE_DIR}/tests/wine/wine-run)
    set_tests_properties(signing_cng PROPERTIES TIMEOUT 300)
  elseif(TARGET klu-sign)
    add_test(NAME signing_tools COMMAND ${CMAKE_SOURCE_DIR}/tests/sign/signing_test.sh native
             $<TARGET_FILE:klu-sign> $<TARGET_FILE:klu-unzip>)
    set_tests_properties(signing_tools PROPERTIES TIMEOUT 300)
  endif()
endif()

# The signature check's parsers under libFuzzer, seeded with an empty archive signed as the
# fuzzer's stand-in key would sign it, and the same archive without its signature.
if(KLU_FUZZ)
  set(_klu_sign_seeds ${CMAKE_BINARY_DIR}/fuzz-seeds/package_signature)
  file(MAKE_DIRECTORY ${_klu_sign_seeds})
  find_package(Python3 COMPONENTS Interpreter)
  if(Python3_FOUND)
    execute_process(COMMAND ${Python3_EXECUTABLE} -c
      "import sys; c = b'KLUSIG/1 ' + b'0' * 16 + b' 5a' + b'0' * 126; e = b'PK\\x05\\x06' + bytes(16); open(sys.argv[1] + '/signed', 'wb').write(e + len(c).to_bytes(2, 'little') + c); open(sys.argv[1] + '/unsigned', 'wb').write(e + bytes(2))"
      ${_klu_sign_seeds} OUTPUT_QUIET)
  endif()
  klu_add_fuzzer(package_signature SOURCES ${CMAKE_SOURCE_DIR}/tests/fuzz/package_signature_fuzz.cpp
                 CORPUS ${_klu_sign_seeds})
endif()
