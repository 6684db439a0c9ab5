# Test signing: certificates made at build time with openssl, programs signed with osslsigncode.
#
# RVL_TEST_CERT_DIR holds root.pem (the test root) and, for each signer corvane ("Corvane", the maker),
# foreign (another name) and publisher (a publisher who signs a customized setup), SIGNER.pem,
# SIGNER.key and SIGNER-chain.pem; old-root.pem, a root since 2019, issued corvane-expired ("Corvane",
# expired at the start of 2021) and tsa (the timestamping authority). Targets that need them depend on rvl_test_certificates.
# A test may sign at test time with:
#   ${CMAKE_COMMAND} -DOSSLSIGNCODE=${RVL_OSSLSIGNCODE} -DCERT_DIR=${RVL_TEST_CERT_DIR} -DSIGNER=publisher
#                    -DINPUT=... -DOUTPUT=... -P ${RVL_SIGN_PROGRAM_SCRIPT}
find_program(RVL_OPENSSL openssl REQUIRED)
find_program(RVL_OSSLSIGNCODE osslsigncode REQUIRED)
set(RVL_TEST_CERT_DIR ${CMAKE_BINARY_DIR}/test-certificates)
set(RVL_SIGN_PROGRAM_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/SignProgram.cmake)
set(rvl_certificates_stamp ${RVL_TEST_CERT_DIR}/certificates.stamp)

add_custom_command(OUTPUT ${rvl_certificates_stamp}
                   COMMAND ${CMAKE_COMMAND} -DOPENSSL=${RVL_OPENSSL} -DDIR=${RVL_TEST_CERT_DIR}
                           -P ${CMAKE_CURRENT_LIST_DIR}/MakeTestCertificates.cmake
                   DEPENDS ${CMAKE_CURRENT_LIST_DIR}/MakeTestCertificates.cmake
                   COMMENT "Making the test certificates"
                   VERBATIM)
add_custom_target(rvl_test_certificates DEPENDS ${rvl_certificates_stamp})

# rvl_sign_program(<target> INPUT <program> OUTPUT <signed copy>
#                  SIGNER <corvane|foreign|publisher|corvane-expired> [TIMESTAMP <seconds since 1970>]
#                  [DEPENDS <targets or files>...])
# Adds target <target>, which signs the built <program> into the new file <signed copy>.
function(rvl_sign_program target)
    cmake_parse_arguments(PARSE_ARGV 1 arg "" "INPUT;OUTPUT;SIGNER;TIMESTAMP" "DEPENDS")
    if(NOT arg_INPUT OR NOT arg_OUTPUT OR NOT arg_SIGNER)
        message(FATAL_ERROR "rvl_sign_program(${target}): INPUT, OUTPUT and SIGNER are required")
    endif()
    add_custom_command(OUTPUT ${arg_OUTPUT}
                       COMMAND ${CMAKE_COMMAND} -DOSSLSIGNCODE=${RVL_OSSLSIGNCODE} -DCERT_DIR=${RVL_TEST_CERT_DIR}
                               -DSIGNER=${arg_SIGNER} -DINPUT=${arg_INPUT} -DOUTPUT=${arg_OUTPUT}
                               -DTIMESTAMP=${arg_TIMESTAMP}
                               -P ${RVL_SIGN_PROGRAM_SCRIPT}
                       DEPENDS ${arg_INPUT} ${rvl_certificates_stamp} ${RVL_SIGN_PROGRAM_SCRIPT} ${arg_DEPENDS}
                       COMMENT "Signing ${arg_OUTPUT} as ${arg_SIGNER}"
                       VERBATIM)
    add_custom_target(${target} DEPENDS ${arg_OUTPUT})
    add_dependencies(${target} rvl_test_certificates)
endfunction()
