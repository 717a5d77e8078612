#include "stats/StatsReporter.h"

#include <json/json.h>

#include <exception>
#include <memory>

#include "config/Settings.h"
#include "net/PostForm.h"
#include "net/ServerApi.h"
#include "platform/os/Text.h"
#include "stats/HttpClientT.h"
#include "stats/ReportCipher.h"

namespace {

constexpr std::size_t kUploadStep = 1024;
constexpr std::size_t kReplyRead = 1023;

bool StartsWithTextType(std::string_view contentType) {
    return contentType.size() >= 5 && os::AsciiEqualsIgnoreCase(contentType.substr(0, 5), "text/");
}

}  // namespace

CStatsReporter& CStatsReporter::Instance() {
    static CStatsReporter reporter;
    return reporter;
}

void CStatsReporter::SetHost(std::string_view host) {
    std::lock_guard lock(m_mutex);
    m_identity.host = host;
}
void CStatsReporter::SetAppId(std::uint32_t appId) {
    std::lock_guard lock(m_mutex);
    m_identity.appId = appId;
}
void CStatsReporter::SetAppApiId(std::uint32_t appApiId) {
    std::lock_guard lock(m_mutex);
    m_identity.appApiId = appApiId;
}
void CStatsReporter::SetOsBit(std::uint32_t osBit) {
    std::lock_guard lock(m_mutex);
    m_identity.osBit = osBit;
}
// The Windows client converts these from wide text to the local code page;
// here both are UTF-8, so the text is kept as it is.
void CStatsReporter::SetOs(std::string_view os) {
    std::lock_guard lock(m_mutex);
    m_identity.os = os;
}
void CStatsReporter::SetChannelCode(std::string_view channelCode) {
    std::lock_guard lock(m_mutex);
    m_identity.channelCode = channelCode;
}
void CStatsReporter::SetVersion(std::string_view version) {
    std::lock_guard lock(m_mutex);
    m_identity.version = version;
}
void CStatsReporter::SetMachineCode(std::string_view machineCode) {
    std::lock_guard lock(m_mutex);
    m_identity.machineCode = machineCode;
}

std::string CStatsReporter::Host() const {
    std::lock_guard lock(m_mutex);
    return m_identity.host;
}
std::uint32_t CStatsReporter::AppId() const {
    std::lock_guard lock(m_mutex);
    return m_identity.appId;
}
std::uint32_t CStatsReporter::AppApiId() const {
    std::lock_guard lock(m_mutex);
    return m_identity.appApiId;
}
std::uint32_t CStatsReporter::OsBit() const {
    std::lock_guard lock(m_mutex);
    return m_identity.osBit;
}
std::string CStatsReporter::Os() const {
    std::lock_guard lock(m_mutex);
    return m_identity.os;
}
std::string CStatsReporter::ChannelCode() const {
    std::lock_guard lock(m_mutex);
    return m_identity.channelCode;
}
std::string CStatsReporter::Version() const {
    std::lock_guard lock(m_mutex);
    return m_identity.version;
}
std::string CStatsReporter::MachineCode() const {
    std::lock_guard lock(m_mutex);
    return m_identity.machineCode;
}
std::string CStatsReporter::Body() const {
    std::lock_guard lock(m_mutex);
    return m_body;
}
std::string CStatsReporter::ErrorFilePath() const {
    std::lock_guard lock(m_mutex);
    return m_errorFilePath;
}

std::string CStatsReporter::EncodeReportBody(std::string_view text) {
    const std::string cipher = report_cipher::AesEcbEncrypt(report_cipher::kReportKey, text);
    if (cipher.empty()) {
        return {};
    }
    return report_cipher::Base64Encode(cipher);
}

CStatsReporter::Identity CStatsReporter::SnapshotIdentity() const {
    std::lock_guard lock(m_mutex);
    return m_identity;
}

std::string CStatsReporter::BuildActionReport(int typeId) const {
    return FormatActionReport(SnapshotIdentity(), typeId);
}

std::string CStatsReporter::FormatActionReport(const Identity& identity, int typeId) {
    // The advertising id as stored, read as a leading decimal number
    // ("12ab" gives 12, nothing gives 0); no installer-name fallback here.
    const int adId = LeadingInteger(ReadAdId(false));
    Json::Value root(Json::objectValue);
    root["AppId"] = Json::UInt(identity.appId);
    root["AppApiId"] = Json::UInt(identity.appApiId);
    root["TypeId"] = Json::Int(typeId);
    root["OsBit"] = Json::UInt(identity.osBit);
    root["ChannelCode"] = identity.channelCode;
    root["Version"] = identity.version;
    root["MachineCode"] = identity.machineCode;
    root["Os"] = identity.os;
    root["AdId"] = Json::UInt(static_cast<unsigned int>(adId));
    Json::StyledWriter writer;
    return writer.write(root);
}

bool CStatsReporter::SendAction(int typeId) {
    // Reports wait for each other, but nothing else waits for the network:
    // the identity is copied under the value lock, which is not held while
    // the report travels.
    std::lock_guard sending(m_sendMutex);
    std::string body;
    std::string url;
    try {
        const Identity identity = SnapshotIdentity();
        body = EncodeReportBody(FormatActionReport(identity, typeId));
        url = "http://" + identity.host + "/" + std::string(api::kActionPage);
        std::lock_guard lock(m_mutex);
        m_body = body;
    } catch (const std::exception&) {
        return false;
    }
    // Posted even when encryption failed: the service then refuses it.
    std::string reply;
    const bool sent = PostForm(url, body.data(), body.size(), &reply, true);
    return sent && LeadingInteger(reply) >= 1;
}

bool CStatsReporter::UploadErrorFile(const std::string& path) {
    std::lock_guard sending(m_sendMutex);
    try {
        const Identity identity = SnapshotIdentity();
        {
            std::lock_guard lock(m_mutex);
            m_errorFilePath = path;
        }
        CHttpClientT client;
        return UploadWith(client, identity, path);
    } catch (const std::exception&) {
        return false;  // no memory for the client itself
    }
}

bool CStatsReporter::UploadWith(CHttpClientT& client, const Identity& identity, const std::string& path) {
    try {
        // Nothing in the address is percent-encoded: the values are the
        // client's own version and system name.
        const std::string url = "http://" + identity.host + "/" + std::string(api::kErrorFilePage) +
                                "?aid=" + std::to_string(static_cast<int>(identity.appId)) +
                                "&v=" + identity.version + "&os=" + identity.os;
        client.AddParam("file", path, true);
        client.StartUpload(url);
        std::unique_ptr<CHttpResponseT> response;
        CHttpPostStatT progress;
        while (!(response = client.SendNextChunk(kUploadStep))) {
            client.GetUploadProgress(progress);
        }
        if (response->GetStatus() != 200) {
            return false;
        }
        const std::optional<std::string> contentType = response->GetHeader("Content-Type", 0);
        if (!contentType || !StartsWithTextType(*contentType)) {
            return false;
        }
        char text[kReplyRead];
        const std::size_t read = response->ReadContent(text, sizeof text);
        return read == 1 && text[0] == '1';
    } catch (const std::exception&) {
        client.AbortUpload();
        return false;
    }
}
