#include "toolbox/Toolbox.h"

#include "config/Settings.h"
#include "library/FileFetch.h"
#include "net/CCurlRequestW.h"
#include "net/ServerHosts.h"
#include "platform/duilib/UIDlgBuilder.h"
#include "platform/duilib/UIList.h"
#include "platform/duilib/UIProgress.h"
#include "platform/duilib/WinUser.h"
#include "platform/os/ChildProcess.h"
#include "platform/os/DebugPrint.h"
#include "platform/os/Event.h"
#include "platform/os/FileIo.h"
#include "platform/os/Paths.h"
#include "platform/os/Registry.h"
#include "platform/os/Shell.h"
#include "platform/os/Text.h"
#include "toolbox/ServerNames.h"
#include "toolbox/UserData.h"
#include "toolbox/VersionText.h"
#include "ui/OpenUrl.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <ctime>

using namespace DuiLib;

// What the object shares with its workers. A worker keeps it alive for as
// long as it runs, so one that outlives the object's waits still finds its
// stop event and flag. Posting to a panel that is gone does nothing.
struct CToolbox::Shared {
    os::Event stop;                       // set at teardown; ends fetches and installer waits
    std::atomic<bool> closing{false};     // running downloads stop at their next step
    std::function<int()> dayOfMonth;      // fixed at construction
    std::function<bool()> isUserAnAdmin;  // fixed at construction
    std::string dataFolder;               // the per-user data folder, fixed at construction

    // The observer operations, for the panel `panel`. Any thread.
    void Status(HWND panel, int code, DWORD index) const {
        if (code != 200)
            ::PostMessageW(panel, kMsgDownloadFailed, 0, static_cast<LPARAM>(index));
    }
    int Progress(HWND panel, int failed, std::uint64_t received, std::uint64_t total, DWORD index) const {
        if (closing.load() || failed != 0)
            return 1;
        // Without an announced length there is no share to show.
        if (total > 0) {
            const auto percent =
                static_cast<WPARAM>(static_cast<double>(received) * 100.0 / static_cast<double>(total));
            ::PostMessageW(panel, kMsgProgress, percent, static_cast<LPARAM>(index));
        }
        return 0;
    }
    void Complete(HWND panel, DWORD index) const {
        ::PostMessageW(panel, kMsgDownloaded, 0, static_cast<LPARAM>(index));
    }
};

namespace {

constexpr int kShowNormal = 1;

int LocalDayOfMonth() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    return localtime_r(&now, &local) != nullptr ? local.tm_mday : 0;
}

std::string Join(const std::string& folder, std::string_view name) {
    return os::PathJoin(folder, name);
}

// A tool's install path may name a folder or a file.
bool PathExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

// The observer of one installer download. It belongs to the installation
// thread, which owns its share of the toolbox's state: nothing it touches
// goes away under it. Runs on that thread.
class InstallObserver final : public IDownLoadCallBack {
  public:
    InstallObserver(std::shared_ptr<const CToolbox::Shared> shared, HWND panel)
        : m_shared(std::move(shared)), m_panel(panel) {}
    void OnStatus(int code, DWORD index) override { m_shared->Status(m_panel, code, index); }
    void OnStart(const std::string&, std::uint64_t, DWORD) override {}
    int OnProgress(int failed, int, std::uint64_t received, std::uint64_t total, DWORD index) override {
        return m_shared->Progress(m_panel, failed, received, total, index);
    }
    void OnComplete(DWORD index) override { m_shared->Complete(m_panel, index); }

  private:
    std::shared_ptr<const CToolbox::Shared> m_shared;
    HWND m_panel;
};

}  // namespace

// ---- workers ---------------------------------------------------------------------

namespace {

// The archive thread: fetches the version file, and when the host offers a
// newer archive than the installed one, downloads it into "toolbox.dat" and
// records its version and today's day. Runs on the archive thread.
void RefreshArchive(const std::shared_ptr<const CToolbox::Shared>& shared, const std::string& name,
                    HWND owner, UINT readyMessage) {
    const std::string local =
        os::RegGetString(HKEY_CURRENT_USER, settings::kClientKey, settings::kToolboxVersion).value_or("");
    const std::string base = HostUrl(ServerHost::Toolbox, "/" + name);
    const std::string text = FetchUrlText(base + "/version.html", &shared->stop);
    const std::string archive = Join(shared->dataFolder, CToolbox::kArchiveFile);
    const bool hadArchive = os::FileExists(archive);
    if (shared->stop.IsSet())
        return;
    const std::optional<std::string> server = ToolboxServerVersion(text);
    if (!server || !IsNewerToolboxVersion(*server, local))
        return;

    const std::string download = archive + CToolbox::kDownloadSuffix;
    ::unlink(download.c_str());
    ::unlink(archive.c_str());
    os::CreateFolderWithParents(shared->dataFolder);
    CFileFetch fetch;
    fetch.SetStopEvent(&shared->stop);
    if (fetch.Fetch(base + "/toolbox.zip", download, CREATE_ALWAYS) != S_OK) {
        // Nothing of a failed download is kept.
        ::unlink((download + ".upd").c_str());
        DebugPrint("toolbox archive download failed\n");
        return;
    }
    os::RegSetString(HKEY_CURRENT_USER, settings::kClientKey, settings::kToolboxVersion, *server);
    os::RegSetDword(HKEY_CURRENT_USER, settings::kClientKey, settings::kToolboxDay,
                    static_cast<DWORD>(shared->dayOfMonth()));
    if (std::rename(download.c_str(), archive.c_str()) == 0 && !hadArchive && ::IsWindow(owner))
        ::PostMessageW(owner, readyMessage, 0, 0);
}

// One installation: downloads the installer with the entry's progress on
// the panel, then runs it and waits for it or the stop event. Runs on the
// entry's installation thread.
void RunInstall(const std::shared_ptr<const CToolbox::Shared>& shared, HWND panel, int index,
                const std::string& url, const std::string& folder, const std::string& target,
                const std::string& commandLine) {
    InstallObserver observer(shared, panel);
    CFileFetch fetch(&observer, static_cast<DWORD>(index));
    fetch.SetStopEvent(&shared->stop);
    os::CreateFolderWithParents(folder);
    if (fetch.Fetch(url, target, CREATE_ALWAYS) != S_OK) {
        ::unlink((target + ".upd").c_str());
        return;
    }
    // The download was written for this user only; the installer must be
    // able to run.
    ::chmod(target.c_str(), 0700);
    // See the class comment: "runas" is a plain start as the user here, and
    // a client running as root takes the design's direct branch.
    const bool direct = shared->isUserAnAdmin();
    bool endedFirst = false;
    if (std::optional<os::ChildProcess> installer =
            os::ChildProcess::Start(target, os::SplitParameters(commandLine))) {
        endedFirst = installer->WaitForExitOrStop(&shared->stop, std::chrono::milliseconds(-1)) ==
                     os::ChildProcess::WaitResult::kExited;
    } else {
        DebugPrint("toolbox installer could not be started\n");
    }
    ::PostMessageW(panel, !direct && endedFirst ? CToolbox::kMsgInstalled : CToolbox::kMsgInstallerEnded, 0,
                   static_cast<LPARAM>(index));
}

}  // namespace

// ---- the object ------------------------------------------------------------------

CToolbox::CToolbox() : CToolbox(Options{}) {}

CToolbox::CToolbox(Options options)
    : m_shared(std::make_shared<Shared>()),
      m_installWait(options.installWait),
      m_updateWait(options.updateWait) {
    m_shared->dayOfMonth = options.dayOfMonth ? std::move(options.dayOfMonth) : LocalDayOfMonth;
    m_shared->isUserAnAdmin = options.isUserAnAdmin ? std::move(options.isUserAnAdmin) : os::IsUserAnAdmin;
    m_shared->dataFolder = os::GetUserDataFolder();
}

CToolbox::~CToolbox() {
    StopWorkers();
    RestoreArchive();
    // The window goes while the paint manager that serves it still exists,
    // and none of its last messages reaches this half-destroyed object.
    DestroyWindowDetached();
    m_pm.RemoveNotifier(this);
}

std::string CToolbox::ArchivePath() const {
    return Join(m_shared->dataFolder, kArchiveFile);
}

std::string CToolbox::InstallerFolder() const {
    return Join(m_shared->dataFolder, kToolInstallerFolder);
}

void CToolbox::Init(std::string_view name, HWND owner, UINT readyMessage) {
    const DWORD day =
        os::RegGetDword(HKEY_CURRENT_USER, settings::kClientKey, settings::kToolboxDay).value_or(0);
    if ((day & 0xFFFF) == static_cast<DWORD>(m_shared->dayOfMonth()))
        return;
    std::shared_ptr<const Shared> shared = m_shared;
    m_updateThread.Start([shared, name = std::string(name), owner, readyMessage] {
        RefreshArchive(shared, name, owner, readyMessage);
    });
}

bool CToolbox::IsAvailable() const {
    return os::FileExists(ArchivePath());
}

bool CToolbox::IsCheckRunning() const {
    return m_updateThread.IsRunning();
}

void CToolbox::ShowAt(CControlUI* anchor, int x, int y) {
    if (::IsWindow(m_hWnd)) {
        if (x != m_left || y != m_top) {
            m_left = x;
            m_top = y;
            Place();
        }
        SwitchArchiveIn();
        ShowWindow(true, true);
        // The main window keeps its active title bar while the panel is up.
        ::SendMessageW(m_topWindow, WM_NCACTIVATE, TRUE, 0);
        RefreshCaptions();
        return;
    }
    std::optional<std::string> data = os::ReadWholeFile(ArchivePath(), kMaxArchiveBytes);
    if (!data || data->empty())
        return;
    m_archiveData = std::move(*data);
    m_anchor = anchor;
    m_left = x;
    m_top = y;
    const HWND owner = anchor != nullptr && anchor->GetManager() != nullptr
                           ? anchor->GetManager()->GetPaintWindow()
                           : nullptr;
    if (Create(owner, "", WS_POPUP, WS_EX_TOPMOST | WS_EX_TOOLWINDOW) == nullptr)
        return;
    m_topWindow = m_hWnd;
    for (HWND up = ::GetParent(m_hWnd); up != nullptr; up = ::GetParent(up))
        m_topWindow = up;
    ShowWindow(true, true);
    ::SendMessageW(m_topWindow, WM_NCACTIVATE, TRUE, 0);
    m_list = m_pm.FindControl<CListUI>("list");
    ReadCaptions();
    RefreshCaptions();
}

LRESULT CToolbox::OnCreate() {
    m_pm.Init(m_hWnd, "skin.xml");
    m_savedArchive = CPaintManagerUI::GetResourceZip();
    // Bytes that are no archive leave none in force: the skin in force
    // before comes back at once.
    if (!CPaintManagerUI::SetResourceZip(m_archiveData.data(), m_archiveData.size())) {
        CPaintManagerUI::SetResourceZip(m_savedArchive.data, m_savedArchive.size);
        return -1;
    }
    CDialogBuilder builder;
    CControlUI* root = builder.Create("skin.xml", {}, nullptr, &m_pm);
    if (root == nullptr) {
        RestoreArchive();
        return -1;
    }
    m_pm.AttachDialog(root);
    m_pm.AddNotifier(this);
    m_pm.SetRoundCorner(3, 3);
    const SIZE size = m_pm.GetInitSize();
    if (size.cx > 0 && size.cy > 0)
        ::SetWindowPos(m_hWnd, nullptr, 0, 0, static_cast<int>(size.cx), static_cast<int>(size.cy),
                       SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    Place();
    m_built = true;
    return 0;
}

void CToolbox::Place() {
    RECT rc;
    if (!::GetWindowRect(m_hWnd, &rc))
        return;
    const long width = rc.Width();
    const long height = rc.Height();
    const RECT work = GetMonitorWorkArea(m_hWnd);
    long x = m_left;
    long y = m_top;
    if (y + height > work.bottom)
        y = height > work.Height() ? work.top : work.bottom - height;
    if (x + width > work.right)
        x = width > work.Width() ? work.left : work.right - width;
    // Nor past the top or left edge: the whole panel stays reachable.
    x = std::max(x, work.left);
    y = std::max(y, work.top);
    ::SetWindowPos(m_hWnd, nullptr, static_cast<int>(x), static_cast<int>(y), 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool CToolbox::ArchiveInForce() const {
    return !m_archiveData.empty() && CPaintManagerUI::GetResourceZip().data == m_archiveData.data();
}

void CToolbox::SwitchArchiveIn() {
    if (ArchiveInForce() || m_archiveData.empty())
        return;
    m_savedArchive = CPaintManagerUI::GetResourceZip();
    if (!CPaintManagerUI::SetResourceZip(m_archiveData.data(), m_archiveData.size()))
        CPaintManagerUI::SetResourceZip(m_savedArchive.data, m_savedArchive.size);
}

void CToolbox::RestoreArchive() {
    if (ArchiveInForce())
        CPaintManagerUI::SetResourceZip(m_savedArchive.data, m_savedArchive.size);
}

void CToolbox::Hide() {
    // Hiding moves the focus away, which brings us here once more: both
    // steps do nothing the second time.
    RestoreArchive();
    ShowWindow(false);
}

void CToolbox::ReadCaptions() {
    const std::string userData = m_list != nullptr ? m_list->GetUserData() : std::string();
    m_captionOpen = UserDataValue(userData, "open");
    m_captionGet = UserDataValue(userData, "get");
    m_captionLearn = UserDataValue(userData, "learn");
    m_captionInstalling = UserDataValue(userData, "installing");
}

std::string CToolbox::ToolFolder(const std::string& userData) const {
    const std::string key = UserDataValue(userData, "regedit");
    if (key.empty())
        return {};
    return os::RegGetString(HKEY_LOCAL_MACHINE, "Software\\" + key, "Path", settings::kDefaultReadBuffer)
        .value_or("");
}

CControlUI* CToolbox::Entry(int index) const {
    if (m_list == nullptr || index < 0 || index >= m_list->GetCount())
        return nullptr;
    return m_list->GetItemAt(index);
}

bool CToolbox::InstallRunning(int index) const {
    return std::any_of(m_installs.begin(), m_installs.end(), [index](const Install& install) {
        return install.index == index && install.thread->IsRunning();
    });
}

bool CToolbox::InstallerInUse(const std::string& installer) const {
    return std::any_of(m_installs.begin(), m_installs.end(), [&installer](const Install& install) {
        return install.installer == installer && install.thread->IsRunning();
    });
}

void CToolbox::RefreshCaptions() {
    if (m_list == nullptr)
        return;
    for (int i = 0; i < m_list->GetCount(); ++i) {
        CControlUI* entry = m_list->GetItemAt(i);
        CControlUI* button = m_pm.FindSubControlByName(entry, "button");
        if (button == nullptr)
            continue;
        const std::string& userData = entry->GetUserData();
        const std::string folder = ToolFolder(userData);
        if (!UserDataValue(userData, "url").empty())
            button->SetText(m_captionLearn);
        else if (PathExists(folder))
            button->SetText(m_captionOpen);
        else if (!InstallRunning(i))
            button->SetText(m_captionGet);
    }
}

void CToolbox::Notify(TNotifyUI& msg) {
    if (msg.sType == DUI_MSGTYPE_CLICK && msg.pSender != nullptr && msg.pSender->GetName() == "button")
        OnEntryClick(msg.pSender);
}

void CToolbox::OnEntryClick(CControlUI* button) {
    CControlUI* entry = button;
    while (entry != nullptr && entry->GetParent() != m_list)
        entry = entry->GetParent();
    if (entry == nullptr || m_list == nullptr)
        return;
    const int index = m_list->GetItemIndex(entry);
    const std::string userData = entry->GetUserData();
    const std::string folder = ToolFolder(userData);

    if (const std::string url = UserDataValue(userData, "url"); !url.empty()) {
        // Only a web page: the archive comes from a server, and the desktop's
        // opener would act on any scheme.
        if (IsWebAddress(url))
            OpenUrl(m_hWnd, url);
        else
            DebugPrint("toolbox entry %d: not a web address\n", index);
        return;
    }
    if (PathExists(folder)) {
        const std::optional<std::string> program = ToolProgramPath(folder, UserDataValue(userData, "exe"));
        if (!program) {
            DebugPrint("toolbox entry %d: the program is not inside the tool's folder\n", index);
            return;
        }
        const std::u16string file = os::Utf8ToUtf16(*program);
        ::ShellExecuteW(m_hWnd, u"open", file.c_str(), nullptr, nullptr, kShowNormal);
        return;
    }
    StartInstall(index, userData);
}

void CToolbox::StartInstall(int index, const std::string& userData) {
    if (InstallRunning(index))
        return;
    const std::string installer = UserDataValue(userData, "installer");
    if (!IsPlainServerFileName(installer)) {
        DebugPrint("toolbox entry %d: the installer is not a plain file name\n", index);
        return;
    }
    // Two downloads into one file would mix their bytes, and the mixture
    // would be run: another entry's running install of the same installer
    // must end first.
    if (InstallerInUse(installer)) {
        DebugPrint("toolbox entry %d: its installer is being installed for another entry\n", index);
        return;
    }
    std::erase_if(m_installs, [index](const Install& install) { return install.index == index; });

    CControlUI* entry = Entry(index);
    CControlUI* button = m_pm.FindSubControlByName(entry, "button");
    auto* progress = ControlCast<CProgressUI>(m_pm.FindSubControlByName(entry, "progress"));
    if (button != nullptr)
        button->SetVisible(false);
    if (progress != nullptr) {
        progress->SetValue(0);
        progress->SetVisible(true);
    }

    const std::string url = HostUrl(ServerHost::Toolbox, "/download/" + installer);
    const std::string folder = InstallerFolder();
    const std::string target = Join(folder, installer);
    std::shared_ptr<const Shared> shared = m_shared;
    Install install{index, installer, std::make_unique<os::WorkerThread>()};
    const bool started = install.thread->Start([shared, panel = m_hWnd, index, url, folder, target,
                                                commandLine = UserDataValue(userData, "setupcommond")] {
        RunInstall(shared, panel, index, url, folder, target, commandLine);
    });
    if (!started) {
        OnEntryMessage(kMsgDownloadFailed, 0, index);
        return;
    }
    m_installs.push_back(std::move(install));
}

void CToolbox::OnEntryMessage(UINT msg, WPARAM wParam, int index) {
    CControlUI* entry = Entry(index);
    if (entry == nullptr)
        return;
    CControlUI* button = m_pm.FindSubControlByName(entry, "button");
    auto* progress = ControlCast<CProgressUI>(m_pm.FindSubControlByName(entry, "progress"));
    if (msg == kMsgProgress) {
        if (progress != nullptr)
            progress->SetValue(static_cast<int>(std::min<WPARAM>(wParam, 100)));
        return;
    }
    if (progress != nullptr)
        progress->SetVisible(false);
    if (button == nullptr)
        return;
    button->SetVisible(true);
    switch (msg) {
        case kMsgDownloaded:
            button->SetText(m_captionInstalling);
            button->SetEnabled(false);
            break;
        case kMsgDownloadFailed:
            // Enabled again: a download can fail after its last step (the
            // finished file could not be put in place), when the button was
            // already disabled for the installer.
            button->SetText(m_captionGet);
            button->SetEnabled(true);
            break;
        case kMsgInstalled:
            button->SetText(m_captionOpen);
            button->SetEnabled(true);
            break;
        default:  // kMsgInstallerEnded
            button->SetEnabled(true);
            break;
    }
}

void CToolbox::OnStatus(int code, DWORD userData) {
    m_shared->Status(m_hWnd, code, userData);
}

void CToolbox::OnStart(const std::string& /*path*/, std::uint64_t /*length*/, DWORD /*userData*/) {}

int CToolbox::OnProgress(int failed, int /*reserved*/, std::uint64_t received, std::uint64_t total,
                         DWORD userData) {
    return m_shared->Progress(m_hWnd, failed, received, total, userData);
}

void CToolbox::OnComplete(DWORD userData) {
    m_shared->Complete(m_hWnd, userData);
}

void CToolbox::StopWorkers() {
    if (m_stopped)
        return;
    m_stopped = true;
    m_shared->stop.Set();
    if (!m_installs.empty()) {
        m_shared->closing = true;
        const auto deadline = std::chrono::steady_clock::now() + m_installWait;
        for (const Install& install : m_installs) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            install.thread->WaitFor(std::max(left, std::chrono::milliseconds(0)));
        }
    }
    m_updateThread.WaitFor(m_updateWait);
}

LRESULT CToolbox::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_CREATE:
            return OnCreate();
        case WM_SIZE:
            if (wParam != SIZE_MINIMIZED) {
                const SIZE corner = m_pm.GetRoundCorner();
                if (corner.cx != 0 || corner.cy != 0)
                    m_regionCorner = corner;
            }
            break;
        case WM_KEYDOWN:
            if (wParam == VK_ESCAPE) {
                Hide();
                return 0;
            }
            break;
        case WM_KILLFOCUS:
            if (reinterpret_cast<HWND>(wParam) != m_hWnd)
                Hide();
            break;
        case WM_DESTROY:
            // The main window is going (the panel is its own): the design's
            // teardown. A panel whose creation failed leaves the workers be.
            if (m_built)
                StopWorkers();
            RestoreArchive();
            break;
        case kMsgProgress:
        case kMsgDownloaded:
        case kMsgDownloadFailed:
        case kMsgInstalled:
        case kMsgInstallerEnded:
            OnEntryMessage(msg, wParam, static_cast<int>(lParam));
            return 0;
        default:
            break;
    }
    LRESULT result = 0;
    if (m_pm.MessageHandler(msg, wParam, lParam, result))
        return result;
    return CWindowWnd::HandleMessage(msg, wParam, lParam);
}
