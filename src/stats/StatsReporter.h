#pragma once
// The usage reporter: tells the statistics service about installation,
// uninstallation, the daily update check and a downloaded update, and uploads
// the crash file. Reports are fire-and-forget; the caller learns only whether
// the service accepted one.
//
// One process-wide instance, configured once at start-up. Reports are
// serialised: a report sent while another is on its way waits for it.

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

class CHttpClientT;

class CStatsReporter {
  public:
    // The action types.
    enum ActionType : int {
        kActionInstall = 1,
        kActionUninstall = 2,
        kActionUpdateCheck = 3,
        kActionUpdateDownloaded = 4,
    };

    // The process-wide reporter.
    static CStatsReporter& Instance();

    CStatsReporter() = default;
    CStatsReporter(const CStatsReporter&) = delete;
    CStatsReporter& operator=(const CStatsReporter&) = delete;

    // Identity of the installation. The host is the statistics service's
    // "host[:port]" without scheme or path.
    void SetHost(std::string_view host);
    void SetAppId(std::uint32_t appId);
    void SetAppApiId(std::uint32_t appApiId);
    void SetOsBit(std::uint32_t osBit);
    void SetOs(std::string_view os);
    void SetChannelCode(std::string_view channelCode);
    void SetVersion(std::string_view version);
    void SetMachineCode(std::string_view machineCode);

    std::string Host() const;
    std::uint32_t AppId() const;
    std::uint32_t AppApiId() const;
    std::uint32_t OsBit() const;
    std::string Os() const;
    std::string ChannelCode() const;
    std::string Version() const;
    std::string MachineCode() const;

    // The encoded body of the last report, and the last error file's path.
    std::string Body() const;
    std::string ErrorFilePath() const;

    // The action report of `typeId` as the service receives it before
    // encryption: the identity, the type and the advertising id, written by
    // JsonCpp's styled writer (members sorted by name, three-space indent).
    std::string BuildActionReport(int typeId) const;

    // Builds, encodes and posts the action report to "action.ashx". True when
    // the service accepted it: the post went out and the reply reads as an
    // integer of at least 1. Blocks the calling thread.
    bool SendAction(int typeId);

    // Uploads the file at `path` to "errorfile.ashx" in steps of 1024 bytes.
    // True when the reply has status 200, a "text/..." content type and the
    // body "1" exactly. Blocks the calling thread.
    bool UploadErrorFile(const std::string& path);

    // The styled report text encrypted with the report key (AES-128-ECB,
    // PKCS#7) and encoded in Base64 on one line; empty when encryption fails.
    static std::string EncodeReportBody(std::string_view text);

  private:
    std::string BuildActionReportLocked(int typeId) const;
    // The upload itself, with the lock held; any error of the client aborts
    // it and gives false.
    bool UploadWith(CHttpClientT& client, const std::string& path);

    // Serialises reports and guards every field below.
    mutable std::mutex m_mutex;
    std::string m_body;
    std::string m_errorFilePath;
    std::string m_host;
    std::uint32_t m_appId = 0;
    std::uint32_t m_osBit = 0;
    std::uint32_t m_appApiId = 0;
    std::string m_channelCode;
    std::string m_version;
    std::string m_machineCode;
    std::string m_os;
};
