# Script mode (cmake -P): a customized setup signed as its publisher signs it. The package writer (a case
# of the test program, under Wine) writes FOLDER/setup.exe; osslsigncode signs it as the test publisher
# into FOLDER/setup-signed.exe and must verify the signature; then the signed setup must run (another case).
#   cmake -DEMULATOR=... -DTESTS=... -DOSSLSIGNCODE=... -DCERT_DIR=... -DSIGN_SCRIPT=... -DFOLDER=... -P SignedSetup.cmake
foreach(var EMULATOR TESTS OSSLSIGNCODE CERT_DIR SIGN_SCRIPT FOLDER)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "SignedSetup: ${var} is not set")
    endif()
endforeach()

function(run what)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    message("${output}")
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "${what} failed (${result})")
    endif()
endfunction()

file(REMOVE ${FOLDER}/setup.exe ${FOLDER}/setup-signed.exe)
run("Writing the setup" ${EMULATOR} ${TESTS} --gtest_filter=SignedSetup.IsWrittenByThePackageWriter)
run("Signing the setup" ${CMAKE_COMMAND} -DOSSLSIGNCODE=${OSSLSIGNCODE} -DCERT_DIR=${CERT_DIR} -DSIGNER=publisher
    -DINPUT=${FOLDER}/setup.exe -DOUTPUT=${FOLDER}/setup-signed.exe -P ${SIGN_SCRIPT})
run("Verifying the signature" ${OSSLSIGNCODE} verify -CAfile ${CERT_DIR}/root.pem -in ${FOLDER}/setup-signed.exe)
run("Running the signed setup" ${EMULATOR} ${TESTS} --gtest_filter=SignedSetup.Runs)
