# Script mode (cmake -P): signs program INPUT into a new file OUTPUT with osslsigncode, as the test certificate
# SIGNER (corvane, foreign, publisher or corvane-expired) made by MakeTestCertificates.cmake in CERT_DIR.
# With TIMESTAMP (seconds since 1970), the test timestamping authority dates the signature at that time.
#   cmake -DOSSLSIGNCODE=... -DCERT_DIR=... -DSIGNER=... -DINPUT=... -DOUTPUT=... [-DTIMESTAMP=...]
#         -P SignProgram.cmake
foreach(var OSSLSIGNCODE CERT_DIR SIGNER INPUT OUTPUT)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "SignProgram: ${var} is not set")
    endif()
endforeach()
# osslsigncode refuses to overwrite its output.
file(REMOVE ${OUTPUT})
get_filename_component(out_dir ${OUTPUT} DIRECTORY)
file(MAKE_DIRECTORY ${out_dir})
set(timestamp)
if(TIMESTAMP)
    set(timestamp -TSA-certs ${CERT_DIR}/tsa-chain.pem -TSA-key ${CERT_DIR}/tsa.key -TSA-time ${TIMESTAMP})
endif()
execute_process(COMMAND ${OSSLSIGNCODE} sign -certs ${CERT_DIR}/${SIGNER}-chain.pem -key ${CERT_DIR}/${SIGNER}.key
                        ${timestamp} -h sha256 -in ${INPUT} -out ${OUTPUT}
                RESULT_VARIABLE result OUTPUT_QUIET ERROR_VARIABLE error)
if(NOT result EQUAL 0)
    file(REMOVE ${OUTPUT})
    message(FATAL_ERROR "osslsigncode could not sign ${INPUT}: ${error}")
endif()
