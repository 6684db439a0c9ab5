# Script mode (cmake -P): signs program INPUT into a new file OUTPUT with osslsigncode, as the test certificate
# SIGNER (corvane, foreign or publisher) made by MakeTestCertificates.cmake in CERT_DIR.
#   cmake -DOSSLSIGNCODE=... -DCERT_DIR=... -DSIGNER=... -DINPUT=... -DOUTPUT=... -P SignProgram.cmake
foreach(var OSSLSIGNCODE CERT_DIR SIGNER INPUT OUTPUT)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "SignProgram: ${var} is not set")
    endif()
endforeach()
# osslsigncode refuses to overwrite its output.
file(REMOVE ${OUTPUT})
get_filename_component(out_dir ${OUTPUT} DIRECTORY)
file(MAKE_DIRECTORY ${out_dir})
execute_process(COMMAND ${OSSLSIGNCODE} sign -certs ${CERT_DIR}/${SIGNER}-chain.pem -key ${CERT_DIR}/${SIGNER}.key
                        -h sha256 -in ${INPUT} -out ${OUTPUT}
                RESULT_VARIABLE result OUTPUT_QUIET ERROR_VARIABLE error)
if(NOT result EQUAL 0)
    file(REMOVE ${OUTPUT})
    message(FATAL_ERROR "osslsigncode could not sign ${INPUT}: ${error}")
endif()
