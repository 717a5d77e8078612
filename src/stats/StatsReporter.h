#pragma once
// The usage reporter: tells the statistics service about installation,
// uninstallation, the daily update check and a downloaded update, and uploads
// the crash file. Reports are fire-and-forget; the caller learns only whether
// the service accepted one.
//
// One process-wide instance, configured once at start-up. Reports are
// serialised: a report sent while another is on its way waits for it. The
// getters and setters never wait for the network: a report copies the
// identity when it starts and travels without holding the values' lock, so
// the UI thread may read them while a report is on its way.

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
    // integer of at least 1. Blocks the calling thread (any thread) for the
    // exchange and for any report before it.
    bool SendAction(int typeId);

    // Uploads the file at `path` to "errorfile.ashx" in steps of 1024 bytes.
    // True when the reply has status 200, a "text/..." content type and the
    // body "1" exactly. Blocks the calling thread (any thread) like SendAction.
    bool UploadErrorFile(const std::string& path);

    // The styled report text encrypted with the report key (AES-128-ECB,
    // PKCS#7) and encoded in Base64 on one line; empty when encryption fails.
    static std::string EncodeReportBody(std::string_view text);

  private:
    // What a report says about the installation; a report copies it at its
    // start.
    struct Identity {
        std::string host;
        std::uint32_t appId = 0;
        std::uint32_t appApiId = 0;
        std::uint32_t osBit = 0;
        std::string os;
        std::string channelCode;
        std::string version;
        std::string machineCode;
    };
    Identity SnapshotIdentity() const;
    static std::string FormatActionReport(const Identity& identity, int typeId);
    // The upload itself, under the sending lock only; any error of the client
    // aborts it and gives false.
    bool UploadWith(CHttpClientT& client, const Identity& identity, const std::string& path);

    // Serialises reports; held for a whole exchange. Taken before m_mutex,
    // never while holding it.
    std::mutex m_sendMutex;
    // Guards every field below; never held across the network.
    mutable std::mutex m_mutex;
    Identity m_identity;
    std::string m_body;
    std::string m_errorFilePath;
};
