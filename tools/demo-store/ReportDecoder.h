#pragma once
// Reads the client's encrypted usage reports: the body is one line of Base64
// over AES-128-ECB (PKCS#7 padding) over the report's JSON text, written in
// JsonCpp's styled layout. The decoder says what it found and why a report
// is refused.

#include <json/json.h>

#include <string>

namespace demostore {

struct DecodedReport {
    bool accepted = false;
    std::string reason;   // why it was refused; empty when accepted
    std::string text;     // the decrypted JSON text (when decryption worked)
    Json::Value members;  // the parsed report (when it parsed)
    bool styled = false;  // the text is exactly JsonCpp's styled form of the members
};

class ReportDecoder {
  public:
    // The key the client encrypts its reports with.
    static constexpr char kKey[] = "Tm9$Lp#417#DELTA";

    static DecodedReport Decode(const std::string& body);

    // AES-128-ECB with PKCS#7 padding; false on a wrong length or padding.
    static bool Decrypt(const std::string& cipher, std::string& plain);
    static bool Encrypt(const std::string& plain, std::string& cipher);
};

}  // namespace demostore
