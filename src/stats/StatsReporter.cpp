#include "stats/StatsReporter.h"

#include <json/json.h>

#include <exception>
#include <memory>

#include "config/Settings.h"
#include "net/PostForm.h"
#include "net/ServerApi.h"
#include "stats/HttpClientT.h"
#include "stats/ReportCipher.h"

namespace {

constexpr std::size_t kUploadStep = 1024;
constexpr std::size_t kReplyRead = 1023;

bool StartsWithTextType(const std::string& contentType) {
    static constexpr char kText[] = "text/";
    if (contentType.size() < 5) {
        return false;
    }
    for (std::size_t i = 0; i < 5; ++i) {
        char c = contentType[i];
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
        if (c != kText[i]) {
            return false;
        }
    }
    return true;
}

}  // namespace

CStatsReporter& CStatsReporter::Instance() {
    static CStatsReporter reporter;
    return reporter;
}

void CStatsReporter::SetHost(std::string_view host) {
    std::lock_guard lock(m_mutex);
    m_host = host;
}
void CStatsReporter::SetAppId(std::uint32_t appId) {
    std::lock_guard lock(m_mutex);
    m_appId = appId;
}
void CStatsReporter::SetAppApiId(std::uint32_t appApiId) {
    std::lock_guard lock(m_mutex);
    m_appApiId = appApiId;
}
void CStatsReporter::SetOsBit(std::uint32_t osBit) {
    std::lock_guard lock(m_mutex);
    m_osBit = osBit;
}
// The Windows client converts these from wide text to the local code page;
// here both are UTF-8, so the text is kept as it is.
void CStatsReporter::SetOs(std::string_view os) {
    std::lock_guard lock(m_mutex);
    m_os = os;
}
void CStatsReporter::SetChannelCode(std::string_view channelCode) {
    std::lock_guard lock(m_mutex);
    m_channelCode = channelCode;
}
void CStatsReporter::SetVersion(std::string_view version) {
    std::lock_guard lock(m_mutex);
    m_version = version;
}
void CStatsReporter::SetMachineCode(std::string_view machineCode) {
    std::lock_guard lock(m_mutex);
    m_machineCode = machineCode;
}

std::string CStatsReporter::Host() const {
    std::lock_guard lock(m_mutex);
    return m_host;
}
std::uint32_t CStatsReporter::AppId() const {
    std::lock_guard lock(m_mutex);
    return m_appId;
}
std::uint32_t CStatsReporter::AppApiId() const {
    std::lock_guard lock(m_mutex);
    return m_appApiId;
}
std::uint32_t CStatsReporter::OsBit() const {
    std::lock_guard lock(m_mutex);
    return m_osBit;
}
std::string CStatsReporter::Os() const {
    std::lock_guard lock(m_mutex);
    return m_os;
}
std::string CStatsReporter::ChannelCode() const {
    std::lock_guard lock(m_mutex);
    return m_channelCode;
}
std::string CStatsReporter::Version() const {
    std::lock_guard lock(m_mutex);
    return m_version;
}
std::string CStatsReporter::MachineCode() const {
    std::lock_guard lock(m_mutex);
    return m_machineCode;
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

std::string CStatsReporter::BuildActionReport(int typeId) const {
    std::lock_guard lock(m_mutex);
    return BuildActionReportLocked(typeId);
}

std::string CStatsReporter::BuildActionReportLocked(int typeId) const {
    // The advertising id as stored, read as a leading decimal number
    // ("12ab" gives 12, nothing gives 0); no installer-name fallback here.
    const int adId = LeadingInteger(ReadAdId(false));
    Json::Value root(Json::objectValue);
    root["AppId"] = Json::UInt(m_appId);
    root["AppApiId"] = Json::UInt(m_appApiId);
    root["TypeId"] = Json::Int(typeId);
    root["OsBit"] = Json::UInt(m_osBit);
    root["ChannelCode"] = m_channelCode;
    root["Version"] = m_version;
    root["MachineCode"] = m_machineCode;
    root["Os"] = m_os;
    root["AdId"] = Json::UInt(static_cast<unsigned int>(adId));
    Json::StyledWriter writer;
    return writer.write(root);
}

bool CStatsReporter::SendAction(int typeId) {
    std::lock_guard lock(m_mutex);
    std::string url;
    try {
        m_body = EncodeReportBody(BuildActionReportLocked(typeId));
        url = "http://" + m_host + "/" + std::string(api::kActionPage);
    } catch (const std::exception&) {
        return false;
    }
    // Posted even when encryption failed: the service then refuses it.
    std::string reply;
    const bool sent = PostForm(url, m_body.data(), m_body.size(), &reply, true);
    return sent && LeadingInteger(reply) >= 1;
}

bool CStatsReporter::UploadErrorFile(const std::string& path) {
    std::lock_guard lock(m_mutex);
    try {
        CHttpClientT client;
        return UploadWith(client, path);
    } catch (const std::exception&) {
        return false;  // no memory for the client itself
    }
}

bool CStatsReporter::UploadWith(CHttpClientT& client, const std::string& path) {
    try {
        m_errorFilePath = path;
        // Nothing in the address is percent-encoded: the values are the
        // client's own version and system name.
        const std::string url = "http://" + m_host + "/" + std::string(api::kErrorFilePage) +
                                "?aid=" + std::to_string(static_cast<int>(m_appId)) + "&v=" + m_version +
                                "&os=" + m_os;
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
