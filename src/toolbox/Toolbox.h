#pragma once
// CToolbox: the pop-up panel of partner tools that the main window opens
// from its "btnToolBox" button. The panel's look and its list of tools come
// from a skin archive the toolbox host serves ("toolbox.zip"), kept as
// "toolbox.dat" in the per-user data folder and refreshed when the host
// announces a newer version. Each entry of the list opens a web page, starts
// a tool that is installed, or downloads and runs the tool's installer while
// a progress bar shows the download.
//
// One object, owned by the main window, on the UI thread; it is the panel
// (this file), with the archive (CToolboxArchive: "toolbox.dat" and its
// daily refresh) and one install per entry (CToolboxInstall). Its workers
// are background jobs: they never touch the object or its controls, and what
// they report reaches the panel on the UI thread only while the panel
// lives. The panel's teardown (its window going with the main window, or the
// object going without a panel) stops them and waits a bounded time; a
// worker still running then owns what it touches and ends on its own.
//
// The panel's layout is read from the archive: the archive is the UI
// library's resource archive only while the panel's layout is built, and
// the panel keeps painting from it afterwards while every other window
// (a message box shown while the panel is open, say) reads the client's own
// skin.

#include "library/DownLoadCallBack.h"
#include "platform/duilib/UIManager.h"
#include "platform/duilib/WindowWnd.h"
#include "toolbox/ToolboxArchive.h"
#include "toolbox/ToolboxInstall.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <string_view>

namespace DuiLib {
class CListUI;
}

class CToolbox : public DuiLib::CWindowWnd, public DuiLib::INotifyUI, public IDownLoadCallBack {
  public:
    // The panel's messages about an entry (lParam = entry index; see
    // CToolboxInstall).
    static constexpr UINT kMsgProgress = CToolboxInstall::kMsgProgress;
    static constexpr UINT kMsgDownloaded = CToolboxInstall::kMsgDownloaded;
    static constexpr UINT kMsgDownloadFailed = CToolboxInstall::kMsgDownloadFailed;
    static constexpr UINT kMsgInstalled = CToolboxInstall::kMsgInstalled;
    static constexpr UINT kMsgInstallerEnded = CToolboxInstall::kMsgInstallerEnded;

    static constexpr const char* kWindowClass = "QRNToolbox";
    // The design's waits at teardown.
    static constexpr std::chrono::milliseconds kInstallWait{60000};
    static constexpr std::chrono::milliseconds kUpdateWait{20000};

    // Seams for tests; the defaults are the design's.
    struct Options {
        // Whether the client runs as an administrator (os::IsUserAnAdmin).
        // Called on the installs' threads.
        std::function<bool()> isUserAnAdmin{};
        std::chrono::milliseconds installWait = kInstallWait;
        std::chrono::milliseconds updateWait = kUpdateWait;
    };

    CToolbox();
    explicit CToolbox(Options options);
    // Stops and waits for the workers (when the panel's window did not do it
    // already). UI thread.
    ~CToolbox() override;

    // Starts the daily archive check (CToolboxArchive::StartCheck) of the
    // toolbox `name`; `readyMessage` reaches `owner` when the first archive
    // arrived. UI thread; call once.
    void Init(std::string_view name, HWND owner, UINT readyMessage);

    // "toolbox.dat" exists in the per-user data folder. Any thread.
    bool IsAvailable() const;
    // The archive check started by Init is still running. UI thread.
    bool IsCheckRunning() const;
    // The archive and its daily check. UI thread.
    CToolboxArchive& Archive() { return m_archive; }

    // Opens the panel at screen position (x, y), below `anchor` (the button
    // it is opened from). The first call builds the panel from "skin.xml" of
    // "toolbox.dat" (nothing happens when that cannot be read, is empty or
    // holds no layout); later calls show the same panel again. UI thread.
    void ShowAt(DuiLib::CControlUI* anchor, int x, int y);

    // INotifyUI: a click on an entry's "button". UI thread.
    void Notify(DuiLib::TNotifyUI& msg) override;

    // IDownLoadCallBack, for an installer download whose user data is the
    // entry index: they post the panel's messages, and a download stops at
    // its next step once the panel's teardown began. Any thread.
    void OnStatus(int code, DWORD userData) override;
    void OnStart(const std::string& path, std::uint64_t length, DWORD userData) override;
    int OnProgress(int failed, int reserved, std::uint64_t received, std::uint64_t total,
                   DWORD userData) override;
    void OnComplete(DWORD userData) override;

    const char* GetWindowClassName() const override { return kWindowClass; }

    // For tests and the main window: the captions read from the list, the
    // panel's paint manager, the rounded corners of its region.
    const std::string& CaptionOpen() const { return m_captionOpen; }
    const std::string& CaptionGet() const { return m_captionGet; }
    const std::string& CaptionLearn() const { return m_captionLearn; }
    const std::string& CaptionInstalling() const { return m_captionInstalling; }
    DuiLib::CPaintManagerUI& GetPaintManager() { return m_pm; }
    SIZE GetRegionCorner() const { return m_regionCorner; }

    // "toolbox.dat" in the per-user data folder (as it was when the object
    // was made), and the folder tool installers are downloaded to.
    std::string ArchivePath() const;
    std::string InstallerFolder() const;

  protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    // The panel window belongs to this object, which the main window owns:
    // nothing to do when the window is gone.
    void OnFinalMessage(HWND hwnd) override {}

  private:
    LRESULT OnCreate();
    bool BuildFromArchive();
    void Place();
    void Hide();
    void ReadCaptions();
    void RefreshCaptions();
    void OnEntryClick(DuiLib::CControlUI* button);
    void StartInstall(int index, const std::string& userData);
    bool InstallRunning(int index) const;
    bool InstallerInUse(const std::string& installer) const;
    void OnEntryMessage(UINT msg, WPARAM wParam, int index);
    DuiLib::CControlUI* Entry(int index) const;
    void StopWorkers();
    std::string ToolFolder(const std::string& userData) const;

    std::string m_dataFolder;  // the per-user data folder when the object was made
    std::function<bool()> m_isUserAnAdmin;
    std::atomic<bool> m_closing{false};  // the teardown began
    std::string m_captionOpen;
    std::string m_captionGet;
    std::string m_captionLearn;
    std::string m_captionInstalling;
    DuiLib::CPaintManagerUI m_pm;
    DuiLib::CControlUI* m_anchor = nullptr;
    int m_left = 0;
    int m_top = 0;
    HWND m_topWindow = nullptr;
    DuiLib::CListUI* m_list = nullptr;
    std::chrono::milliseconds m_installWait;
    std::chrono::milliseconds m_updateWait;
    // The bytes of "toolbox.dat" as read when the panel was built.
    std::string m_archiveData;
    CToolboxArchive m_archive;
    // One install per entry index that was ever clicked; the workers go
    // before the rest of the panel.
    std::map<int, CToolboxInstall> m_installs;
    SIZE m_regionCorner{};
    // The panel was built (its destruction is the design's teardown), and
    // the workers have been stopped and waited for.
    bool m_built = false;
    bool m_stopped = false;
};
