// Feeds arbitrary bytes to the demo store's reader of usage reports, both as
// a posted body and, encrypted and encoded the way the client does, as a
// report text. A body must never be accepted unless its text is exactly the
// styled form of a complete report, and encryption must round-trip.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "demo-store/ArrivalLog.h"
#include "demo-store/ReportDecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);

    const demostore::DecodedReport raw = demostore::ReportDecoder::Decode(input);
    if (raw.accepted != raw.reason.empty() || (raw.accepted && !raw.styled)) {
        std::abort();
    }

    std::string cipher, plain;
    if (!demostore::ReportDecoder::Encrypt(input, cipher) || cipher.size() != (input.size() / 16 + 1) * 16 ||
        !demostore::ReportDecoder::Decrypt(cipher, plain) || plain != input) {
        std::abort();
    }
    const std::string body = demostore::Base64Encode(cipher);
    std::string decoded;
    if (!demostore::Base64Decode(body, decoded) || decoded != cipher) {
        std::abort();
    }
    const demostore::DecodedReport report = demostore::ReportDecoder::Decode(body);
    if (report.text != input || (report.accepted && !report.styled)) {
        std::abort();
    }
    return 0;
}
