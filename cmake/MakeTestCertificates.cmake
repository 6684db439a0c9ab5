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
# A signature that outlived its certificate: an older root, valid since 2019, signs a "Corvane" certificate
# that expired at the start of 2021 and a timestamping authority (tsa) that dates signatures in between.
# openssl ca sets the dates, which openssl x509 cannot. Writes old-root.pem, corvane-expired* and tsa*.
file(WRITE ${DIR}/tsa.ext "basicConstraints=critical,CA:FALSE\nkeyUsage=critical,digitalSignature\n"
                          "extendedKeyUsage=critical,timeStamping\nsubjectKeyIdentifier=hash\n"
                          "authorityKeyIdentifier=keyid\n")
file(WRITE ${DIR}/old-root.ext "basicConstraints=critical,CA:TRUE\nkeyUsage=critical,keyCertSign,cRLSign\n"
                               "subjectKeyIdentifier=hash\n")
file(MAKE_DIRECTORY ${DIR}/ca-new)
file(WRITE ${DIR}/ca-index.txt "")
file(WRITE ${DIR}/ca.cnf "[ca]\ndefault_ca=test_ca\n[test_ca]\ndatabase=${DIR}/ca-index.txt\n"
                         "new_certs_dir=${DIR}/ca-new\nserial=${DIR}/ca-serial\ndefault_md=sha256\n"
                         "policy=any\nunique_subject=no\n[any]\ncommonName=supplied\n")
string(RANDOM LENGTH 12 ALPHABET 0123456789 serial)
file(WRITE ${DIR}/ca-serial "10${serial}\n")
run_openssl(req -new -newkey rsa:2048 -nodes -sha256 -subj "/CN=Ravelin Test Root 2019"
            -keyout ${DIR}/old-root.key -out ${DIR}/old-root.csr)
run_openssl(ca -batch -notext -config ${DIR}/ca.cnf -selfsign -keyfile ${DIR}/old-root.key -in ${DIR}/old-root.csr
            -extfile ${DIR}/old-root.ext -startdate 20190101000000Z -enddate 20360101000000Z -out ${DIR}/old-root.pem)
file(READ ${DIR}/old-root.pem old_root)
set(names corvane-expired tsa)
set(subjects "/CN=Corvane" "/CN=Ravelin Test Timestamps")
set(extensions signer.ext tsa.ext)
set(ends 20210101000000Z 20360101000000Z)
foreach(name subject ext end IN ZIP_LISTS names subjects extensions ends)
    run_openssl(req -new -newkey rsa:2048 -nodes -sha256 -subj "${subject}"
                -keyout ${DIR}/${name}.key -out ${DIR}/${name}.csr)
    run_openssl(ca -batch -notext -config ${DIR}/ca.cnf -cert ${DIR}/old-root.pem -keyfile ${DIR}/old-root.key
                -in ${DIR}/${name}.csr -extfile ${DIR}/${ext} -startdate 20190101000000Z -enddate ${end}
                -out ${DIR}/${name}.pem)
    file(READ ${DIR}/${name}.pem certificate)
    file(WRITE ${DIR}/${name}-chain.pem "${certificate}${old_root}")
endforeach()
file(GLOB csrs ${DIR}/*.csr)
file(REMOVE ${csrs})
file(TOUCH ${DIR}/certificates.stamp)
