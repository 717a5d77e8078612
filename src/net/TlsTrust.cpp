#include "net/TlsTrust.h"

#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <cstdlib>
#include <memory>

namespace {

// Adds every certificate of the extra CA file to the connection's store,
// after libcurl has loaded the system authorities into it. Runs on the thread
// of the transfer, when a TLS connection is set up.
CURLcode AddExtraCa(CURL* /*handle*/, void* sslCtx, void* /*userData*/) {
    const std::string path = ExtraCaFile();
    if (path.empty()) {
        return CURLE_OK;
    }
    X509_STORE* store = SSL_CTX_get_cert_store(static_cast<SSL_CTX*>(sslCtx));
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new_file(path.c_str(), "r"), &BIO_free);
    if (store == nullptr || !bio) {
        return CURLE_OK;
    }
    while (X509* cert = PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr)) {
        // A certificate already in the store is not an error worth failing for.
        X509_STORE_add_cert(store, cert);
        X509_free(cert);
    }
    return CURLE_OK;
}

}  // namespace

std::string ExtraCaFile() {
    const char* value = std::getenv("VANTO_CA_FILE");
    return value == nullptr ? std::string() : std::string(value);
}

bool ApplyTlsTrust(CURL* handle) {
    bool ok = curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L) == CURLE_OK;
    ok = curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L) == CURLE_OK && ok;
    // The file is named when the connection is set up, so the handle needs
    // no copy of the path that would have to outlive this call.
    ok = curl_easy_setopt(handle, CURLOPT_SSL_CTX_FUNCTION, &AddExtraCa) == CURLE_OK && ok;
    return ok;
}
