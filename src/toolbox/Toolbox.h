#pragma once
// CToolbox: the pop-up panel of partner tools that the main window opens
// from its "btnToolBox" button. The panel's look and its list of tools come
// from a skin archive the toolbox host serves ("toolbox.zip"), kept as
// "toolbox.dat" in the per-user data folder and refreshed when the host
// announces a newer version. Each entry of the list opens a web page, starts
// a tool that is installed, or downloads and runs the tool's installer while
// a progress bar shows the download.
//
// One object, owned by the main window, on the UI thread. Its workers (the
// archive thread and one installation thread per entry) never touch the
// object or its controls: they share a small state with it (the stop event,
// the closing flag) and post the panel's messages below, which are dropped
// when the panel is gone. The object's teardown -- the panel window going
// with the main window, or the object going without a panel -- sets the stop
// event and waits for the workers a bounded time; a worker still running
// then owns what it touches and ends on its own.
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

#include "library/DownLoadCallBack.h"
#include "platform/duilib/UIManager.h"
#include "platform/duilib/WindowWnd.h"
#include "platform/os/WorkerThread.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace DuiLib {
class CListUI;
}

class CToolbox : public DuiLib::CWindowWnd, public DuiLib::INotifyUI, public IDownLoadCallBack {
  public:
    // The panel's messages, posted by its workers with lParam = entry index.
    static constexpr UINT kMsgProgress = 1025;        // wParam: percent
    static constexpr UINT kMsgDownloaded = 1026;      // installer downloaded, now running
    static constexpr UINT kMsgDownloadFailed = 1027;  // back to CaptionGet
    static constexpr UINT kMsgInstalled = 1028;       // CaptionOpen
    static constexpr UINT kMsgInstallerEnded = 1029;  // enabled, caption unchanged

    static constexpr const char* kWindowClass = "QRNToolbox";
    static constexpr const char* kArchiveFile = "toolbox.dat";
    static constexpr const char* kDownloadSuffix = ".tmp";
    // The design's waits at teardown.
    static constexpr std::chrono::milliseconds kInstallWait{60000};
    static constexpr std::chrono::milliseconds kUpdateWait{20000};
    // "toolbox.dat" is read whole into memory; a larger file is not an
    // archive of the toolbox and does not open.
    static constexpr std::size_t kMaxArchiveBytes = 64u * 1024u * 1024u;

    // Seams for tests; the defaults are the design's.
    struct Options {
        // Today's day of the month (1-31, local time). Called on the UI
        // thread and on the archive thread.
        std::function<int()> dayOfMonth{};
        // Whether the client runs as an administrator (os::IsUserAnAdmin).
        // Called on installation threads.
        std::function<bool()> isUserAnAdmin{};
        std::chrono::milliseconds installWait = kInstallWait;
        std::chrono::milliseconds updateWait = kUpdateWait;
    };

    CToolbox();
    explicit CToolbox(Options options);
    // Stops and waits for the workers (when the panel's window did not do it
    // already) and puts back the archive the panel replaced. UI thread.
    ~CToolbox() override;

    // Starts the daily archive check: unless "ToolboxDay" holds today's day
    // of the month, the archive thread fetches the version file of `name`
    // from the toolbox host and downloads a newer archive; the first time an
    // archive becomes available it posts `readyMessage` (wParam 0, lParam 0)
    // to `owner`. UI thread; call once.
    void Init(std::string_view name, HWND owner, UINT readyMessage);

    // "toolbox.dat" exists in the per-user data folder. Any thread.
    bool IsAvailable() const;
    // The archive thread started by Init is still running. UI thread.
    bool IsCheckRunning() const;

    // Opens the panel at screen position (x, y), below `anchor` (the button
    // it is opened from). The first call builds the panel from "skin.xml" of
    // "toolbox.dat" (nothing happens when that cannot be read, is empty or
    // holds no layout); later calls show the same panel again. While the
    // panel is shown its archive is the UI library's resource archive. UI
    // thread.
    void ShowAt(DuiLib::CControlUI* anchor, int x, int y);

    // INotifyUI: a click on an entry's "button". UI thread.
    void Notify(DuiLib::TNotifyUI& msg) override;

    // IDownLoadCallBack, for an installer download whose user data is the
    // entry index: they post the panel's messages. Any thread.
    void OnStatus(int code, DWORD userData) override;
    void OnStart(const std::string& path, std::uint64_t length, DWORD userData) override;
    int OnProgress(int failed, int reserved, std::uint64_t received, std::uint64_t total,
                   DWORD userData) override;
    void OnComplete(DWORD userData) override;

    const char* GetWindowClassName() const override { return kWindowClass; }

    // What the object shares with its workers (Toolbox.cpp).
    struct Shared;

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
    struct Install {
        int index = -1;
        std::string installer;  // the file it downloads into the installer folder
        std::unique_ptr<os::WorkerThread> thread;
    };

    LRESULT OnCreate();
    void Place();
    void Hide();
    void SwitchArchiveIn();
    void RestoreArchive();
    bool ArchiveInForce() const;
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

    std::shared_ptr<Shared> m_shared;
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
    os::WorkerThread m_updateThread;
    std::chrono::milliseconds m_installWait;
    std::chrono::milliseconds m_updateWait;
    // The bytes of "toolbox.dat" as read when the panel was built. The UI
    // library reads them in place while they are in force, so they stay
    // unchanged for the object's life once the panel exists.
    std::string m_archiveData;
    DuiLib::TResourceZip m_savedArchive;
    std::vector<Install> m_installs;
    SIZE m_regionCorner{};
    // The panel was built (its destruction is the design's teardown), and
    // the workers have been stopped and waited for.
    bool m_built = false;
    bool m_stopped = false;
};
