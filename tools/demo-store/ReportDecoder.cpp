#include "demo-store/ReportDecoder.h"

#include <openssl/evp.h>

#include <memory>

#include "demo-store/ArrivalLog.h"
#include "demo-store/HttpUtil.h"

// The styled layout is JsonCpp's StyledWriter, which the library marks as
// deprecated; it is the layout the client writes, so the store compares with it.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace demostore {
namespace {

struct CipherFree {
    void operator()(EVP_CIPHER_CTX* ctx) const { EVP_CIPHER_CTX_free(ctx); }
};

bool RunCipher(bool encrypt, const std::string& in, std::string& out) {
    std::unique_ptr<EVP_CIPHER_CTX, CipherFree> ctx(EVP_CIPHER_CTX_new());
    if (!ctx || EVP_CipherInit_ex(ctx.get(), EVP_aes_128_ecb(), nullptr,
                                  reinterpret_cast<const unsigned char*>(ReportDecoder::kKey), nullptr,
                                  encrypt ? 1 : 0) != 1) {
        return false;
    }
    out.assign(in.size() + 32, '\0');
    int written = 0, last = 0;
    auto* buffer = reinterpret_cast<unsigned char*>(out.data());
    if (EVP_CipherUpdate(ctx.get(), buffer, &written, reinterpret_cast<const unsigned char*>(in.data()),
                         static_cast<int>(in.size())) != 1 ||
        EVP_CipherFinal_ex(ctx.get(), buffer + written, &last) != 1) {
        out.clear();
        return false;
    }
    out.resize(static_cast<std::size_t>(written) + static_cast<std::size_t>(last));
    return true;
}

struct MemberRule {
    const char* name;
    enum { Unsigned, Signed, Text } kind;
};

// The members of an action report and their JSON types.
const MemberRule kMembers[] = {
    {"AdId", MemberRule::Unsigned},    {"AppApiId", MemberRule::Unsigned}, {"AppId", MemberRule::Unsigned},
    {"ChannelCode", MemberRule::Text}, {"MachineCode", MemberRule::Text},  {"Os", MemberRule::Text},
    {"OsBit", MemberRule::Unsigned},   {"TypeId", MemberRule::Signed},     {"Version", MemberRule::Text},
};

std::string CheckMembers(const Json::Value& report) {
    if (!report.isObject()) {
        return "the report is not a JSON object";
    }
    for (const MemberRule& rule : kMembers) {
        if (!report.isMember(rule.name)) {
            return std::string("member \"") + rule.name + "\" is missing";
        }
        const Json::Value& value = report[rule.name];
        const bool ok = rule.kind == MemberRule::Text       ? value.isString()
                        : rule.kind == MemberRule::Unsigned ? value.isIntegral() && value.isUInt64()
                                                            : value.isIntegral();
        if (!ok) {
            return std::string("member \"") + rule.name + "\" has the wrong type";
        }
    }
    if (report.size() != std::size(kMembers)) {
        return "the report has members it should not have";
    }
    const Json::Int64 type = report["TypeId"].asInt64();
    if (type < 1 || type > 4) {
        return "unknown action type " + std::to_string(type);
    }
    const Json::UInt64 bits = report["OsBit"].asUInt64();
    if (bits != 32 && bits != 64) {
        return "OsBit is neither 32 nor 64";
    }
    const std::string machine = report["MachineCode"].asString();
    if (!machine.empty() && machine.size() != 16) {
        return "MachineCode is neither empty nor 16 characters";
    }
    return {};
}

}  // namespace

bool ReportDecoder::Decrypt(const std::string& cipher, std::string& plain) {
    if (cipher.empty() || cipher.size() % 16 != 0) {
        return false;
    }
    return RunCipher(false, cipher, plain);
}

bool ReportDecoder::Encrypt(const std::string& plain, std::string& cipher) {
    return RunCipher(true, plain, cipher);
}

DecodedReport ReportDecoder::Decode(const std::string& body) {
    DecodedReport report;
    std::string cipher;
    if (body.empty()) {
        report.reason = "empty body";
        return report;
    }
    if (!Base64Decode(body, cipher)) {
        report.reason = "the body is not one line of Base64";
        return report;
    }
    if (!Decrypt(cipher, report.text)) {
        report.reason = "the body does not decrypt with the report key";
        return report;
    }
    if (!ParseStrictJson(report.text, report.members)) {
        report.members = Json::Value();
        report.reason = "the decrypted text is not JSON";
        return report;
    }
    report.styled = Json::StyledWriter().write(report.members) == report.text;
    report.reason = CheckMembers(report.members);
    if (report.reason.empty() && !report.styled) {
        report.reason = "the text is not in the styled layout";
    }
    report.accepted = report.reason.empty();
    return report;
}

}  // namespace demostore
