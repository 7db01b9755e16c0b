# Test builds sign their sandbox's configuration: two key pairs made once at
# configure time, in the build tree only (never in the sources). Both public
# halves are trusted, so a test can sign with the second to show rotation.
# Sets ZK_TEST_KEYS_DIR and appends the public keys to ZK_TRUSTED_KEY_FILES.
set(ZK_TEST_KEYS_DIR ${CMAKE_BINARY_DIR}/test-keys)
file(MAKE_DIRECTORY ${ZK_TEST_KEYS_DIR})
foreach(name signer-1 signer-2)
  set(private ${ZK_TEST_KEYS_DIR}/${name}.pem)
  set(public ${ZK_TEST_KEYS_DIR}/${name}.pub.pem)
  if(NOT EXISTS ${public})
    execute_process(COMMAND "${ZK_OPENSSL_PROGRAM}" genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256
                            -out ${private}
                    RESULT_VARIABLE rc OUTPUT_QUIET ERROR_QUIET)
    if(rc EQUAL 0)
      execute_process(COMMAND "${ZK_OPENSSL_PROGRAM}" pkey -in ${private} -pubout -out ${public}
                      RESULT_VARIABLE rc OUTPUT_QUIET ERROR_QUIET)
    endif()
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR "could not make the test key pair ${name} with ${ZK_OPENSSL_PROGRAM}")
    endif()
  endif()
  list(APPEND ZK_TRUSTED_KEY_FILES ${public})
endforeach()
