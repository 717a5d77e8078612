#include "demo-store/CertificateStore.h"

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>

#include "demo-store/FileUtil.h"

namespace demostore {
namespace {

struct KeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct CertFree {
    void operator()(X509* cert) const { X509_free(cert); }
};
struct BioFree {
    void operator()(BIO* bio) const { BIO_free(bio); }
};
using KeyPtr = std::unique_ptr<EVP_PKEY, KeyFree>;
using CertPtr = std::unique_ptr<X509, CertFree>;
using BioPtr = std::unique_ptr<BIO, BioFree>;

constexpr long kDay = 24L * 60 * 60;
// Clients refuse certificates that live longer than 825 days; the server
// certificate stays below that and is renewed when less than 30 days remain.
constexpr long kServerLifetime = 800 * kDay;
constexpr long kCaLifetime = 3650 * kDay;
constexpr long kRenewMargin = 30 * kDay;

std::string OpenSslError() {
    const unsigned long code = ERR_get_error();
    if (code == 0) {
        return "unknown OpenSSL error";
    }
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    ERR_clear_error();
    return text;
}

KeyPtr NewKey() {
    // P-256 keys are made in a millisecond, even under the sanitizers.
    return KeyPtr(EVP_EC_gen("P-256"));
}

KeyPtr ReadKey(const std::string& path) {
    std::string pem;
    if (!ReadWholeFile(path, pem)) {
        return nullptr;
    }
    BioPtr bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    return KeyPtr(bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr) : nullptr);
}

CertPtr ReadCert(const std::string& path) {
    std::string pem;
    if (!ReadWholeFile(path, pem)) {
        return nullptr;
    }
    BioPtr bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    return CertPtr(bio ? PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr) : nullptr);
}

std::string BioText(BIO* bio) {
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    return size > 0 ? std::string(data, static_cast<std::size_t>(size)) : std::string();
}

std::string KeyPem(EVP_PKEY* key) {
    BioPtr bio(BIO_new(BIO_s_mem()));
    if (!bio || PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr) != 1) {
        return {};
    }
    return BioText(bio.get());
}

std::string CertPem(X509* cert) {
    BioPtr bio(BIO_new(BIO_s_mem()));
    if (!bio || PEM_write_bio_X509(bio.get(), cert) != 1) {
        return {};
    }
    return BioText(bio.get());
}

bool AddExtension(X509* cert, X509* issuer, int nid, const char* value) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
    if (ext == nullptr) {
        return false;
    }
    const bool ok = X509_add_ext(cert, ext, -1) == 1;
    X509_EXTENSION_free(ext);
    return ok;
}

CertPtr NewCertificate(EVP_PKEY* key, const char* commonName, long lifetime) {
    CertPtr cert(X509_new());
    if (!cert) {
        return nullptr;
    }
    unsigned char serial[16];
    if (RAND_bytes(serial, sizeof serial) != 1) {
        return nullptr;
    }
    serial[0] &= 0x7F;  // a positive serial number
    BIGNUM* bn = BN_bin2bn(serial, sizeof serial, nullptr);
    const bool serialOk =
        bn != nullptr && BN_to_ASN1_INTEGER(bn, X509_get_serialNumber(cert.get())) != nullptr;
    BN_free(bn);
    X509_NAME* name = X509_get_subject_name(cert.get());
    if (!serialOk || X509_set_version(cert.get(), 2) != 1 ||
        X509_gmtime_adj(X509_getm_notBefore(cert.get()), -kDay) == nullptr ||
        X509_gmtime_adj(X509_getm_notAfter(cert.get()), lifetime) == nullptr ||
        X509_set_pubkey(cert.get(), key) != 1 ||
        X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC,
                                   reinterpret_cast<const unsigned char*>("Vanto demo store"), -1, -1,
                                   0) != 1 ||
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                   reinterpret_cast<const unsigned char*>(commonName), -1, -1, 0) != 1) {
        return nullptr;
    }
    return cert;
}

bool ExpiresWithin(X509* cert, long seconds) {
    time_t limit = time(nullptr) + seconds;
    return X509_cmp_time(X509_get0_notAfter(cert), &limit) <= 0;
}

}  // namespace

CertificateStore::CertificateStore(std::string dataDir) : m_dir(std::move(dataDir)) {}

bool CertificateStore::Ensure(std::string& error) {
    if (!CaUsable()) {
        if (!MakeCa(error)) {
            return false;
        }
    }
    if (!ServerCertificateUsable()) {
        return MakeServerCertificate(error);
    }
    return true;
}

bool CertificateStore::CaUsable() const {
    KeyPtr key = ReadKey(CaKeyFile());
    CertPtr cert = ReadCert(CaFile());
    return key && cert && X509_check_private_key(cert.get(), key.get()) == 1 &&
           X509_check_ca(cert.get()) != 0 && !ExpiresWithin(cert.get(), kServerLifetime);
}

bool CertificateStore::ServerCertificateUsable() const {
    KeyPtr key = ReadKey(ServerKeyFile());
    CertPtr cert = ReadCert(ServerCertFile());
    CertPtr ca = ReadCert(CaFile());
    if (!key || !cert || !ca || X509_check_private_key(cert.get(), key.get()) != 1 ||
        ExpiresWithin(cert.get(), kRenewMargin)) {
        return false;
    }
    // Signed by the present CA (a CA made afresh invalidates the old server certificate).
    KeyPtr caPublic(X509_get_pubkey(ca.get()));
    return caPublic && X509_verify(cert.get(), caPublic.get()) == 1 &&
           X509_check_ip_asc(cert.get(), "127.0.0.1", 0) == 1 &&
           X509_check_host(cert.get(), "localhost", 0, 0, nullptr) == 1;
}

bool CertificateStore::MakeCa(std::string& error) {
    KeyPtr key = NewKey();
    CertPtr cert = key ? NewCertificate(key.get(), "Vanto demo store CA", kCaLifetime) : nullptr;
    if (!cert || X509_set_issuer_name(cert.get(), X509_get_subject_name(cert.get())) != 1 ||
        !AddExtension(cert.get(), cert.get(), NID_basic_constraints, "critical,CA:TRUE") ||
        !AddExtension(cert.get(), cert.get(), NID_key_usage, "critical,keyCertSign,cRLSign") ||
        !AddExtension(cert.get(), cert.get(), NID_subject_key_identifier, "hash") ||
        X509_sign(cert.get(), key.get(), EVP_sha256()) == 0) {
        error = "cannot make the CA certificate: " + OpenSslError();
        return false;
    }
    const std::string keyPem = KeyPem(key.get());
    const std::string certPem = CertPem(cert.get());
    // The key first: a certificate without its key would look usable to nobody,
    // but a key without its certificate is simply replaced on the next start.
    if (keyPem.empty() || certPem.empty() || !WriteFileAtomic(CaKeyFile(), keyPem, 0600) ||
        !WriteFileAtomic(CaFile(), certPem, 0644)) {
        error = "cannot write the CA files in " + m_dir;
        return false;
    }
    return true;
}

bool CertificateStore::MakeServerCertificate(std::string& error) {
    KeyPtr caKey = ReadKey(CaKeyFile());
    CertPtr ca = ReadCert(CaFile());
    KeyPtr key = NewKey();
    CertPtr cert = key ? NewCertificate(key.get(), "127.0.0.1", kServerLifetime) : nullptr;
    if (!caKey || !ca || !cert || X509_set_issuer_name(cert.get(), X509_get_subject_name(ca.get())) != 1 ||
        !AddExtension(cert.get(), ca.get(), NID_basic_constraints, "critical,CA:FALSE") ||
        !AddExtension(cert.get(), ca.get(), NID_key_usage, "critical,digitalSignature") ||
        !AddExtension(cert.get(), ca.get(), NID_ext_key_usage, "serverAuth") ||
        !AddExtension(cert.get(), ca.get(), NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost") ||
        !AddExtension(cert.get(), ca.get(), NID_authority_key_identifier, "keyid:always") ||
        X509_sign(cert.get(), caKey.get(), EVP_sha256()) == 0) {
        error = "cannot make the server certificate: " + OpenSslError();
        return false;
    }
    const std::string keyPem = KeyPem(key.get());
    const std::string certPem = CertPem(cert.get());
    if (keyPem.empty() || certPem.empty() || !WriteFileAtomic(ServerKeyFile(), keyPem, 0600) ||
        !WriteFileAtomic(ServerCertFile(), certPem, 0644)) {
        error = "cannot write the server certificate files in " + m_dir;
        return false;
    }
    return true;
}

}  // namespace demostore
