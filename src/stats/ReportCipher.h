#pragma once
// The cipher of the usage reports: AES-128 in electronic-codebook mode with
// PKCS#7 padding, and Base64 on one line. The statistics service decrypts
// with the same key.

#include <string>
#include <string_view>

namespace report_cipher {

// The key of the report bodies, 16 ASCII bytes.
inline constexpr std::string_view kReportKey = "Tm9$Lp#417#DELTA";

// Encrypts `text` with the 16-byte `key`: (n / 16 + 1) * 16 bytes for n
// bytes of text. Empty when the key is not 16 bytes or the cipher fails.
std::string AesEcbEncrypt(std::string_view key, std::string_view text);

// Standard-alphabet Base64 with "=" padding, no line breaks.
std::string Base64Encode(std::string_view bytes);

}  // namespace report_cipher
