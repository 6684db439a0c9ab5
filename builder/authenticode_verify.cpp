#include "builder/authenticode_verify.h"

#include "builder/maker_signers.h"
#include "builder/pe_image.h"

#include <openssl/asn1.h>
#include <openssl/bio.h>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/pkcs7.h>
#include <openssl/ts.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <ctime>
#include <memory>
#include <vector>

namespace authenticode {

namespace {

template <typename T, void (*Free)(T*)>
struct Freer {
    void operator()(T* p) const { Free(p); }
};
template <typename T, void (*Free)(T*)>
using Owned = std::unique_ptr<T, Freer<T, Free>>;

using Pkcs7 = Owned<PKCS7, PKCS7_free>;
using SignerInfo = Owned<PKCS7_SIGNER_INFO, PKCS7_SIGNER_INFO_free>;
using Store = Owned<X509_STORE, X509_STORE_free>;
using StoreContext = Owned<X509_STORE_CTX, X509_STORE_CTX_free>;
using Bio = Owned<BIO, BIO_free_all>;
using DigestContext = Owned<EVP_MD_CTX, EVP_MD_CTX_free>;
using TimestampContext = Owned<TS_VERIFY_CTX, TS_VERIFY_CTX_free>;
using TimestampInfo = Owned<TS_TST_INFO, TS_TST_INFO_free>;
using Object = Owned<ASN1_OBJECT, ASN1_OBJECT_free>;
using DigestInfo = Owned<X509_SIG, X509_SIG_free>;
struct SequenceFreer {
    void operator()(ASN1_SEQUENCE_ANY* s) const { sk_ASN1_TYPE_pop_free(s, ASN1_TYPE_free); }
};
using Sequence = std::unique_ptr<ASN1_SEQUENCE_ANY, SequenceFreer>;
// PKCS7_get0_signers gives a new stack of certificates that the signature still owns.
struct CertificateListFreer {
    void operator()(STACK_OF(X509) * s) const { sk_X509_free(s); }
};
using CertificateList = std::unique_ptr<STACK_OF(X509), CertificateListFreer>;

// Authenticode's object identifiers, which OpenSSL has no names for.
const char kSpcIndirectDataOid[] = "1.3.6.1.4.1.311.2.1.4";
const char kSpcPeImageDataOid[] = "1.3.6.1.4.1.311.2.1.15";
const char kRfc3161TimestampOid[] = "1.3.6.1.4.1.311.3.3.1";

// WIN_CERTIFICATE: revision 2.0, type PKCS #7 SignedData.
constexpr uint16_t kCertificateRevision = 0x0200;
constexpr uint16_t kCertificateTypePkcs7 = 0x0002;
constexpr uint32_t kWinCertificateHeader = 8;
// A signature with its chain and timestamp is a few kilobytes; a larger table is not read into memory.
constexpr uint64_t kMaxCertificateTable = 16u << 20;

Result Fail(Verdict verdict, std::string reason, std::string signer = std::string()) {
    Result result;
    result.verdict = verdict;
    result.reason = std::move(reason);
    result.signer = std::move(signer);
    return result;
}

// Where the parts of the image are that the digest leaves out.
struct Layout {
    uint64_t checksum = 0;      // the optional header's 4-byte CheckSum
    uint64_t securityEntry = 0; // the 8-byte security directory entry
    uint64_t table = 0;         // the certificate table: a file offset, not an address in memory
    uint64_t tableSize = 0;
};

bool ReadBytes(pkg::Source& file, uint64_t offset, uint64_t size, std::vector<unsigned char>& bytes) {
    if (offset > file.Size() || file.Size() - offset < size || size > UINT32_MAX)
        return false;
    bytes.resize(static_cast<size_t>(size));
    return size == 0 || file.ReadAt(offset, bytes.data(), static_cast<uint32_t>(size));
}

bool Refuse(Result& failure, Verdict verdict, const char* reason) {
    failure = Fail(verdict, reason);
    return false;
}

// Reads the headers; true when the layout is sound and a certificate table is there, else failure says why.
// Whether the bytes from begin to end are all zero (true for an empty range).
bool IsZeroFilled(pkg::Source& file, uint64_t begin, uint64_t end) {
    unsigned char buffer[4096];
    while (begin < end) {
        const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(end - begin, sizeof buffer));
        if (!file.ReadAt(begin, buffer, n))
            return false;
        for (uint32_t i = 0; i < n; ++i) {
            if (buffer[i] != 0)
                return false;
        }
        begin += n;
    }
    return true;
}

bool ReadLayout(pkg::Source& file, Layout& layout, Result& failure) {
    const uint64_t size = file.Size();
    pkg::PeHeaders headers;
    switch (pkg::ReadPeHeaders(file, headers)) {
    case pkg::PeRead::kRead:
        break;
    case pkg::PeRead::kNoMzHeader:
        return Refuse(failure, Verdict::kNotProgram, "it has no MZ header");
    case pkg::PeRead::kNoPeHeader:
        return Refuse(failure, Verdict::kNotProgram, "it has no PE header");
    case pkg::PeRead::kNoOptionalHeader:
        return Refuse(failure, Verdict::kNotProgram, "its optional header is missing");
    case pkg::PeRead::kUnknownKind:
        return Refuse(failure, Verdict::kNotProgram, "its optional header is of an unknown kind");
    }
    std::vector<unsigned char> entry, sizeOfHeaders;
    if (!headers.securityEntry || !ReadBytes(file, headers.securityEntry, 8, entry))
        return Refuse(failure, Verdict::kNotSigned, "the file carries no signature");
    layout.checksum = headers.checksum;
    layout.securityEntry = headers.securityEntry;
    layout.table = pkg::LoadLE32(&entry[0]);
    layout.tableSize = pkg::LoadLE32(&entry[4]);
    if (layout.tableSize == 0)
        return Refuse(failure, Verdict::kNotSigned, "the file carries no signature");
    // The signer appends the table last; whatever followed it would be outside the digest, and a table that
    // runs past the end means the file was cut short.
    if (layout.table > size || size - layout.table != layout.tableSize)
        return Refuse(failure, Verdict::kDamaged, "the certificate table does not end the file");

    if (!ReadBytes(file, headers.optional + 60, 4, sizeOfHeaders))
        return Refuse(failure, Verdict::kNotProgram, "its optional header is missing");
    const uint64_t headersSize = pkg::LoadLE32(&sizeOfHeaders[0]);
    if (headersSize < layout.securityEntry + 8 || headersSize > layout.table)
        return Refuse(failure, Verdict::kDamaged, "the size of its headers is out of range");
    std::vector<unsigned char> table;
    if (!ReadBytes(file, headers.optional + headers.optionalSize, uint64_t{headers.sectionCount} * 40, table))
        return Refuse(failure, Verdict::kDamaged, "its section table is cut short");
    // The digest takes the headers, then the sections in the order of their file offsets, then what follows
    // the last section up to the certificate table. Only when these parts follow one another without a gap
    // or an overlap does that digest cover every byte but the three left out, as the loader may read any of
    // them; a file that has gaps is refused rather than trusted with unhashed bytes.
    std::vector<std::pair<uint64_t, uint64_t>> sections;
    for (uint32_t i = 0; i < headers.sectionCount; ++i) {
        const unsigned char* section = &table[i * 40];
        const uint64_t rawSize = pkg::LoadLE32(section + 16);
        if (rawSize != 0)
            sections.emplace_back(pkg::LoadLE32(section + 20), rawSize);
    }
    std::sort(sections.begin(), sections.end());
    // A gap that holds only zero bytes is the linker's padding up to the file alignment (GNU ld leaves one
    // after a section whose raw size it does not round up, such as .rsrc): the loader never reads it, and
    // the digest above takes it all the same.
    uint64_t at = headersSize;
    for (const auto& section : sections) {
        if (section.first < at || section.first > layout.table || section.second > layout.table - section.first ||
            !IsZeroFilled(file, at, section.first))
            return Refuse(failure, Verdict::kDamaged,
                          "its sections leave gaps that hold data, overlap, or reach into the certificate table");
        at = section.first + section.second;
    }
    return true;
}

bool HashRange(pkg::Source& file, EVP_MD_CTX* context, uint64_t begin, uint64_t end) {
    std::vector<unsigned char> buffer(1 << 16);
    while (begin < end) {
        const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(end - begin, buffer.size()));
        if (!file.ReadAt(begin, buffer.data(), n) || EVP_DigestUpdate(context, buffer.data(), n) != 1)
            return false;
        begin += n;
    }
    return true;
}

// The Authenticode digest: the whole image up to the certificate table but for the checksum and the
// security directory entry, which signing changes.
bool ImageDigest(pkg::Source& file, const Layout& layout, const EVP_MD* md, std::vector<unsigned char>& digest) {
    DigestContext context(EVP_MD_CTX_new());
    digest.resize(EVP_MAX_MD_SIZE);
    unsigned int size = 0;
    if (!context || EVP_DigestInit_ex(context.get(), md, nullptr) != 1 ||
        !HashRange(file, context.get(), 0, layout.checksum) ||
        !HashRange(file, context.get(), layout.checksum + 4, layout.securityEntry) ||
        !HashRange(file, context.get(), layout.securityEntry + 8, layout.table) ||
        EVP_DigestFinal_ex(context.get(), digest.data(), &size) != 1)
        return false;
    digest.resize(size);
    return true;
}

const EVP_MD* AcceptedDigest(const ASN1_OBJECT* algorithm) {
    switch (OBJ_obj2nid(algorithm)) {
    case NID_sha1:
    case NID_sha256:
    case NID_sha384:
    case NID_sha512:
        return EVP_get_digestbynid(OBJ_obj2nid(algorithm));
    default:
        return nullptr;
    }
}

// The elements of a DER SEQUENCE, which must fill bytes exactly.
Sequence ParseSequence(const ASN1_STRING* bytes) {
    if (!bytes)
        return nullptr;
    const unsigned char* p = bytes->data;
    Sequence sequence(d2i_ASN1_SEQUENCE_ANY(nullptr, &p, bytes->length));
    if (sequence && p != bytes->data + bytes->length)
        sequence.reset();
    return sequence;
}

const ASN1_STRING* SequenceAt(const ASN1_SEQUENCE_ANY* sequence, int index) {
    const ASN1_TYPE* element = sk_ASN1_TYPE_value(sequence, index);
    return element && element->type == V_ASN1_SEQUENCE ? element->value.sequence : nullptr;
}

// What the signature says the image digest is: SpcIndirectDataContent { SpcAttributeTypeAndOptionalValue
// (SPC_PE_IMAGE_DATA), DigestInfo }. body receives the content without its own tag and length, which is
// what the signer's messageDigest attribute hashes.
bool ReadIndirectData(const PKCS7* p7, DigestInfo& digestInfo, const unsigned char*& body, long& bodySize) {
    const PKCS7* content = p7->d.sign ? p7->d.sign->contents : nullptr;
    Object indirectType(OBJ_txt2obj(kSpcIndirectDataOid, 1));
    Object imageType(OBJ_txt2obj(kSpcPeImageDataOid, 1));
    if (!content || !content->type || !indirectType || !imageType || OBJ_cmp(content->type, indirectType.get()) != 0 ||
        !content->d.other || content->d.other->type != V_ASN1_SEQUENCE)
        return false;
    const ASN1_STRING* encoded = content->d.other->value.sequence;
    Sequence indirect = ParseSequence(encoded);
    if (!indirect || sk_ASN1_TYPE_num(indirect.get()) != 2)
        return false;
    Sequence data = ParseSequence(SequenceAt(indirect.get(), 0));
    const ASN1_TYPE* dataType = data && sk_ASN1_TYPE_num(data.get()) >= 1 ? sk_ASN1_TYPE_value(data.get(), 0) : nullptr;
    if (!dataType || dataType->type != V_ASN1_OBJECT || OBJ_cmp(dataType->value.object, imageType.get()) != 0)
        return false;
    const ASN1_STRING* digest = SequenceAt(indirect.get(), 1);
    if (!digest)
        return false;
    const unsigned char* p = digest->data;
    digestInfo.reset(d2i_X509_SIG(nullptr, &p, digest->length));
    if (!digestInfo || p != digest->data + digest->length)
        return false;

    body = encoded->data;
    int tag = 0, tagClass = 0;
    const int header = ASN1_get_object(&body, &bodySize, &tag, &tagClass, encoded->length);
    // Definite length only: the signer hashed exactly these bytes.
    return header == V_ASN1_CONSTRUCTED && tag == V_ASN1_SEQUENCE && body + bodySize == encoded->data + encoded->length;
}

// Checks a signer's authenticated attributes against data and the signature over them with cert's key.
bool SignatureVerifies(PKCS7* p7, PKCS7_SIGNER_INFO* signer, X509* cert, const unsigned char* data, size_t size) {
    if (sk_X509_ATTRIBUTE_num(PKCS7_get_signed_attributes(signer)) <= 0 || size > INT32_MAX)
        return false;
    const EVP_MD* md = AcceptedDigest(signer->digest_alg ? signer->digest_alg->algorithm : nullptr);
    Bio digest(BIO_new(BIO_f_md()));
    if (!md || !digest || BIO_set_md(digest.get(), md) != 1)
        return false;
    BIO* memory = BIO_new_mem_buf(data, static_cast<int>(size));
    if (!memory)
        return false;
    BIO_push(digest.get(), memory);
    unsigned char buffer[4096];
    while (BIO_read(digest.get(), buffer, sizeof buffer) > 0) {
    }
    return PKCS7_signatureVerify(digest.get(), p7, signer, cert) == 1;
}

std::string CommonName(X509* cert) {
    const X509_NAME* name = X509_get_subject_name(cert);
    const int at = X509_NAME_get_index_by_NID(name, NID_commonName, -1);
    // With two common names, which of them the signer is would be a guess.
    if (at < 0 || X509_NAME_get_index_by_NID(name, NID_commonName, at) >= 0)
        return std::string();
    unsigned char* utf8 = nullptr;
    const int n = ASN1_STRING_to_UTF8(&utf8, X509_NAME_ENTRY_get_data(X509_NAME_get_entry(name, at)));
    if (n < 0)
        return std::string();
    std::string text(reinterpret_cast<char*>(utf8), static_cast<size_t>(n));
    OPENSSL_free(utf8);
    return text;
}

std::string OpenSslReason(const char* fallback) {
    const unsigned long error = ERR_peek_last_error();
    const char* reason = error ? ERR_reason_error_string(error) : nullptr;
    return reason ? reason : fallback;
}

bool ChainVerifies(X509_STORE* store, X509* cert, STACK_OF(X509) * untrusted, const time_t* at, std::string& reason) {
    StoreContext context(X509_STORE_CTX_new());
    if (!context || X509_STORE_CTX_init(context.get(), store, cert, untrusted) != 1) {
        reason = "the chain cannot be checked";
        return false;
    }
    if (at)
        X509_STORE_CTX_set_time(context.get(), 0, *at);
    if (X509_verify_cert(context.get()) == 1)
        return true;
    reason = X509_verify_cert_error_string(X509_STORE_CTX_get_error(context.get()));
    return false;
}

bool ToTime(const ASN1_TIME* time, time_t& when) {
    struct tm parts = {};
    if (!time || ASN1_TIME_to_tm(time, &parts) != 1)
        return false;
    when = timegm(&parts);
    return true;
}

enum class Stamp { kNone, kValid, kInvalid };

// RFC 3161: a SignedData whose TSTInfo holds the digest of the signature that it dates. OpenSSL's TS
// verification checks the token's signature, the authority's chain (for time stamping) and that digest.
Stamp CheckRfc3161(const ASN1_STRING* encoded, const ASN1_OCTET_STRING* signature, X509_STORE* store, time_t& when,
                   std::string& reason) {
    const unsigned char* p = encoded->data;
    Pkcs7 token(d2i_PKCS7(nullptr, &p, encoded->length));
    TimestampContext context(TS_VERIFY_CTX_new());
    BIO* data = BIO_new_mem_buf(signature->data, signature->length);
    if (!token || !context || !data) {
        BIO_free(data);
        reason = "the timestamp cannot be read";
        return Stamp::kInvalid;
    }
    TS_VERIFY_CTX_set_flags(context.get(), TS_VFY_VERSION | TS_VFY_SIGNATURE | TS_VFY_DATA);
    TS_VERIFY_CTX_set_data(context.get(), data);
    // The context frees the store it is given.
    X509_STORE_up_ref(store);
    TS_VERIFY_CTX_set_store(context.get(), store);
    if (TS_RESP_verify_token(context.get(), token.get()) != 1) {
        reason = "the timestamp does not verify: " + OpenSslReason("unknown reason");
        return Stamp::kInvalid;
    }
    TimestampInfo info(PKCS7_to_TS_TST_INFO(token.get()));
    if (!info || !ToTime(TS_TST_INFO_get_time(info.get()), when)) {
        reason = "the timestamp has no time";
        return Stamp::kInvalid;
    }
    return Stamp::kValid;
}

// The older PKCS #9 countersignature: a SignerInfo over the digest of the signature, by a certificate
// that the signature carries, with the time as its signingTime attribute.
Stamp CheckCountersignature(const ASN1_STRING* encoded, PKCS7* p7, const ASN1_OCTET_STRING* signature,
                            X509_STORE* store, time_t& when, std::string& reason) {
    const unsigned char* p = encoded->data;
    SignerInfo counter(d2i_PKCS7_SIGNER_INFO(nullptr, &p, encoded->length));
    X509* authority = counter && counter->issuer_and_serial
                          ? X509_find_by_issuer_and_serial(p7->d.sign->cert, counter->issuer_and_serial->issuer,
                                                           counter->issuer_and_serial->serial)
                          : nullptr;
    if (!authority ||
        !SignatureVerifies(p7, counter.get(), authority, signature->data, static_cast<size_t>(signature->length))) {
        reason = "the countersignature does not verify";
        return Stamp::kInvalid;
    }
    if (!(X509_get_extended_key_usage(authority) & XKU_TIMESTAMP)) {
        reason = "the countersigner is not a timestamping authority";
        return Stamp::kInvalid;
    }
    if (!ChainVerifies(store, authority, p7->d.sign->cert, nullptr, reason)) {
        reason = "the countersigner's certificate: " + reason;
        return Stamp::kInvalid;
    }
    const ASN1_TYPE* time = PKCS7_get_signed_attribute(counter.get(), NID_pkcs9_signingTime);
    if (!time || (time->type != V_ASN1_UTCTIME && time->type != V_ASN1_GENERALIZEDTIME) ||
        !ToTime(time->value.utctime, when)) {
        reason = "the countersignature has no time";
        return Stamp::kInvalid;
    }
    return Stamp::kValid;
}

Stamp CheckTimestamp(PKCS7* p7, PKCS7_SIGNER_INFO* signer, X509_STORE* store, time_t& when, std::string& reason) {
    Object rfc3161(OBJ_txt2obj(kRfc3161TimestampOid, 1));
    STACK_OF(X509_ATTRIBUTE)* attributes = signer->unauth_attr;
    for (int i = 0; rfc3161 && i < sk_X509_ATTRIBUTE_num(attributes); ++i) {
        X509_ATTRIBUTE* attribute = sk_X509_ATTRIBUTE_value(attributes, i);
        const ASN1_OBJECT* type = X509_ATTRIBUTE_get0_object(attribute);
        const bool isRfc3161 = OBJ_cmp(type, rfc3161.get()) == 0;
        if (!isRfc3161 && OBJ_obj2nid(type) != NID_pkcs9_countersignature)
            continue;
        const ASN1_TYPE* value = X509_ATTRIBUTE_get0_type(attribute, 0);
        if (!value || value->type != V_ASN1_SEQUENCE) {
            reason = "the timestamp cannot be read";
            return Stamp::kInvalid;
        }
        return isRfc3161 ? CheckRfc3161(value->value.sequence, signer->enc_digest, store, when, reason)
                         : CheckCountersignature(value->value.sequence, p7, signer->enc_digest, store, when, reason);
    }
    return Stamp::kNone;
}

std::string FormatTime(time_t when) {
    struct tm parts = {};
    char text[32] = {};
    if (!gmtime_r(&when, &parts) || std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &parts) == 0)
        return std::string();
    return text;
}

Result VerifySignature(pkg::Source& file, const Layout& layout, const std::string& caFile) {
    std::vector<unsigned char> table;
    if (layout.tableSize > kMaxCertificateTable)
        return Fail(Verdict::kDamaged, "the certificate table is too large");
    if (!ReadBytes(file, layout.table, layout.tableSize, table))
        return Fail(Verdict::kUnreadable, "the certificate table cannot be read");
    if (table.size() < kWinCertificateHeader)
        return Fail(Verdict::kDamaged, "the certificate table is cut short");
    const uint32_t length = pkg::LoadLE32(&table[0]);
    if (pkg::LoadLE16(&table[4]) != kCertificateRevision || pkg::LoadLE16(&table[6]) != kCertificateTypePkcs7)
        return Fail(Verdict::kDamaged, "the certificate table holds no Authenticode signature");
    // One entry, padded to eight bytes: a second entry, or bytes after the signature, would carry data that
    // no digest covers.
    if (length < kWinCertificateHeader || length > table.size() || (uint64_t{length} + 7) / 8 * 8 != table.size())
        return Fail(Verdict::kDamaged, "the certificate table's length does not match its entry");
    const unsigned char* der = &table[kWinCertificateHeader];
    const unsigned char* p = der;
    Pkcs7 p7(d2i_PKCS7(nullptr, &p, length - kWinCertificateHeader));
    if (!p7 || !PKCS7_type_is_signed(p7.get()) || !p7->d.sign)
        return Fail(Verdict::kDamaged, "the signature cannot be read");
    if (std::any_of(table.begin() + (p - table.data()), table.end(), [](unsigned char c) { return c != 0; }))
        return Fail(Verdict::kDamaged, "data follows the signature");

    DigestInfo digestInfo;
    const unsigned char* body = nullptr;
    long bodySize = 0;
    if (!ReadIndirectData(p7.get(), digestInfo, body, bodySize))
        return Fail(Verdict::kDamaged, "the signature does not sign a program image");
    STACK_OF(PKCS7_SIGNER_INFO)* signers = PKCS7_get_signer_info(p7.get());
    if (sk_PKCS7_SIGNER_INFO_num(signers) != 1)
        return Fail(Verdict::kDamaged, "the signature has not exactly one signer");
    PKCS7_SIGNER_INFO* signer = sk_PKCS7_SIGNER_INFO_value(signers, 0);
    CertificateList signerCerts(PKCS7_get0_signers(p7.get(), nullptr, 0));
    if (!signerCerts || sk_X509_num(signerCerts.get()) != 1)
        return Fail(Verdict::kDamaged, "the signer's certificate is missing");
    X509* cert = sk_X509_value(signerCerts.get(), 0);
    const std::string name = CommonName(cert);

    // The content type attribute binds the signature to Authenticode's content, not to any other.
    Object indirectType(OBJ_txt2obj(kSpcIndirectDataOid, 1));
    const ASN1_TYPE* contentType = PKCS7_get_signed_attribute(signer, NID_pkcs9_contentType);
    if (!indirectType || !contentType || contentType->type != V_ASN1_OBJECT ||
        OBJ_cmp(contentType->value.object, indirectType.get()) != 0 ||
        !SignatureVerifies(p7.get(), signer, cert, body, static_cast<size_t>(bodySize)))
        return Fail(Verdict::kDamaged, "the signature does not verify", name);

    const X509_ALGOR* algorithm = nullptr;
    const ASN1_OCTET_STRING* signedDigest = nullptr;
    X509_SIG_get0(digestInfo.get(), &algorithm, &signedDigest);
    const EVP_MD* md = AcceptedDigest(algorithm ? algorithm->algorithm : nullptr);
    if (!md)
        return Fail(Verdict::kDamaged, "the image digest's algorithm is not accepted", name);
    std::vector<unsigned char> digest;
    if (!ImageDigest(file, layout, md, digest))
        return Fail(Verdict::kUnreadable, "the file cannot be read", name);
    if (static_cast<size_t>(signedDigest->length) != digest.size() ||
        CRYPTO_memcmp(signedDigest->data, digest.data(), digest.size()) != 0)
        return Fail(Verdict::kDamaged, "the file does not match its signature", name);

    std::string reason;
    Store store(X509_STORE_new());
    if (!store || (caFile.empty() ? X509_STORE_set_default_paths(store.get())
                                  : X509_STORE_load_file(store.get(), caFile.c_str())) != 1)
        return Fail(Verdict::kUntrusted,
                    caFile.empty() ? "the system's trusted roots cannot be read" : caFile + ": no roots can be read",
                    name);
    time_t stampedAt = 0;
    const Stamp stamp = CheckTimestamp(p7.get(), signer, store.get(), stampedAt, reason);
    if (stamp == Stamp::kInvalid)
        return Fail(Verdict::kUntrusted, reason, name);
    // A valid timestamp proves that the signature existed while the certificate was valid.
    if (!ChainVerifies(store.get(), cert, p7->d.sign->cert, stamp == Stamp::kValid ? &stampedAt : nullptr, reason))
        return Fail(Verdict::kUntrusted, "the signer's certificate: " + reason, name);
    if (!(X509_get_extended_key_usage(cert) & XKU_CODE_SIGN))
        return Fail(Verdict::kUntrusted, "the signer's certificate is not for code signing", name);
    if (!IsMakerSignerName(name))
        return Fail(Verdict::kNotMaker, name.empty() ? "the signer has no single common name" : "signed by " + name,
                    name);
    Result result;
    result.verdict = Verdict::kTrusted;
    result.signer = name;
    if (stamp == Stamp::kValid)
        result.timestamp = FormatTime(stampedAt);
    return result;
}

} // namespace

Result VerifyProgram(pkg::Source& file, const std::string& caFile) {
    Layout layout;
    Result result;
    if (ReadLayout(file, layout, result))
        result = VerifySignature(file, layout, caFile);
    // What OpenSSL noted on the way is said in the result; nothing is left for an unrelated later call.
    ERR_clear_error();
    return result;
}

} // namespace authenticode
