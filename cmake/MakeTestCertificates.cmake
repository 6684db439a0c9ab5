# Script mode (cmake -P): makes the test certificates in DIR with openssl. A test root signs three
# code-signing certificates: "Corvane" (the maker), a foreign name, and a publisher's. For each NAME it
# writes NAME.pem, NAME.key and NAME-chain.pem (the certificate followed by the root, as a signer passes it).
# Keys live only in the build folder; nothing here is ever committed.
#   cmake -DOPENSSL=... -DDIR=... -P MakeTestCertificates.cmake
foreach(var OPENSSL DIR)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "MakeTestCertificates: ${var} is not set")
    endif()
endforeach()
file(MAKE_DIRECTORY ${DIR})

function(run_openssl)
    execute_process(COMMAND ${OPENSSL} ${ARGN} RESULT_VARIABLE result OUTPUT_QUIET ERROR_VARIABLE error)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "openssl ${ARGN} failed: ${error}")
    endif()
endfunction()

file(WRITE ${DIR}/signer.ext "basicConstraints=critical,CA:FALSE\nkeyUsage=critical,digitalSignature\n"
                             "extendedKeyUsage=codeSigning\nsubjectKeyIdentifier=hash\n"
                             "authorityKeyIdentifier=keyid\n")

run_openssl(req -x509 -newkey rsa:2048 -nodes -sha256 -days 3650 -subj "/CN=Ravelin Test Root"
            -keyout ${DIR}/root.key -out ${DIR}/root.pem
            -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign")
file(READ ${DIR}/root.pem root)

set(names corvane foreign publisher)
set(subjects "/CN=Corvane" "/CN=Northwind Software Test" "/CN=Example Publisher Test")
foreach(name subject IN ZIP_LISTS names subjects)
    run_openssl(req -newkey rsa:2048 -nodes -sha256 -subj "${subject}"
                -keyout ${DIR}/${name}.key -out ${DIR}/${name}.csr)
    string(RANDOM LENGTH 12 ALPHABET 0123456789 serial)
    run_openssl(x509 -req -sha256 -days 3650 -in ${DIR}/${name}.csr -CA ${DIR}/root.pem -CAkey ${DIR}/root.key
                -set_serial 1${serial} -extfile ${DIR}/signer.ext -out ${DIR}/${name}.pem)
    file(REMOVE ${DIR}/${name}.csr)
    file(READ ${DIR}/${name}.pem certificate)
    file(WRITE ${DIR}/${name}-chain.pem "${certificate}${root}")
endforeach()
file(TOUCH ${DIR}/certificates.stamp)
