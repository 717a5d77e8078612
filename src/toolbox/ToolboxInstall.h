#pragma once
// CToolboxInstall: one list entry's tool install, run as a background job.
// It downloads the entry's installer into the installer folder while the
// panel shows its progress, runs the installer, waits for it or for the
// toolbox's teardown, and tells the panel how each step went as the panel's
// messages below (lParam = entry index), handed to the UI thread only while
// the install's handle and the panel's window live.
//
// Running an installer: the design runs it directly when the user is an
// administrator and asks the shell for an elevated start ("runas")
// otherwise. The client never starts a downloaded program as root on its own
// initiative, so here both branches start it as the user running the client,
// as our child, and wait for it or the stop event. The messages keep the
// design's rules: after the direct branch (the client runs as root) the
// entry gets "installer ended otherwise" (1029); after the other branch it
// gets "installed" (1028) when the installer ended first, and 1029 when the
// stop event came first or the installer could not be started.
//
// One object per entry, owned by the panel and used on the UI thread; an
// entry's later install runs on the same object.

#include "platform/duilib/BackgroundJob.h"
#include "platform/duilib/UIDefine.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

class CToolboxInstall {
  public:
    // The panel's messages about an entry.
    static constexpr UINT kMsgProgress = 1025;        // wParam: percent
    static constexpr UINT kMsgDownloaded = 1026;      // installer downloaded, now running
    static constexpr UINT kMsgDownloadFailed = 1027;  // back to CaptionGet
    static constexpr UINT kMsgInstalled = 1028;       // CaptionOpen
    static constexpr UINT kMsgInstallerEnded = 1029;  // enabled, caption unchanged

    // What the panel does with one of its messages about entry `index`. UI
    // thread.
    using Report = std::function<void(UINT message, WPARAM wParam, int index)>;

    struct Request {
        int index = -1;
        std::string installer;    // a plain file name, checked by the caller
        std::string url;          // where it is downloaded from
        std::string folder;       // the installer folder, made when missing
        std::string commandLine;  // the entry's "setupcommond"
        // Whether the client runs as an administrator; called on the
        // install's thread.
        std::function<bool()> isUserAnAdmin;
    };

    CToolboxInstall() = default;
    CToolboxInstall(const CToolboxInstall&) = delete;
    CToolboxInstall& operator=(const CToolboxInstall&) = delete;

    // Starts the install of `request`; `report` gets its messages while
    // `panel` is a window. False when an install of this object still runs
    // or no thread could be made. UI thread.
    bool Start(Request request, HWND panel, Report report);

    // The installer file of the latest Start (empty before the first).
    const std::string& Installer() const { return m_installer; }
    bool IsRunning() const { return m_job.IsRunning(); }
    // Ends the download and the wait for the installer at once. UI thread.
    void RequestStop() { m_job.RequestStop(); }
    bool WaitFor(std::chrono::milliseconds limit) const { return m_job.WaitFor(limit); }

    // The share of a download an observer shows: received × 100 ÷ total,
    // computed in floating point and truncated; nothing without a total.
    // Any thread.
    static std::optional<WPARAM> Percent(std::uint64_t received, std::uint64_t total);

  private:
    std::string m_installer;
    DuiLib::BackgroundJob m_job;
};
