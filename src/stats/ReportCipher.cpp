#include "stats/ReportCipher.h"

#include <openssl/evp.h>

#include <climits>
#include <memory>

namespace report_cipher {

std::string AesEcbEncrypt(std::string_view key, std::string_view text) {
    if (key.size() != 16 || text.size() > static_cast<std::size_t>(INT_MAX - 16)) {
        return {};
    }
    std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> context(EVP_CIPHER_CTX_new(),
                                                                            EVP_CIPHER_CTX_free);
    if (!context) {
        return {};
    }
    // Padding is on by default: PKCS#7, a whole block for aligned text.
    if (EVP_EncryptInit_ex(context.get(), EVP_aes_128_ecb(), nullptr,
                           reinterpret_cast<const unsigned char*>(key.data()), nullptr) != 1) {
        return {};
    }
    std::string cipher(text.size() + 16, '\0');
    auto* out = reinterpret_cast<unsigned char*>(cipher.data());
    int written = 0;
    if (EVP_EncryptUpdate(context.get(), out, &written, reinterpret_cast<const unsigned char*>(text.data()),
                          static_cast<int>(text.size())) != 1) {
        return {};
    }
    int last = 0;
    if (EVP_EncryptFinal_ex(context.get(), out + written, &last) != 1) {
        return {};
    }
    cipher.resize(static_cast<std::size_t>(written) + static_cast<std::size_t>(last));
    return cipher;
}

std::string Base64Encode(std::string_view bytes) {
    if (bytes.size() > static_cast<std::size_t>(INT_MAX / 4 * 3)) {
        return {};
    }
    std::string text((bytes.size() + 2) / 3 * 4 + 1, '\0');
    const int length =
        EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()),
                        reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
    text.resize(length < 0 ? 0 : static_cast<std::size_t>(length));
    return text;
}

}  // namespace report_cipher
