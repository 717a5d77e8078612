#include "toolbox/Toolbox.h"

#include "config/Settings.h"
#include "net/ServerHosts.h"
#include "platform/duilib/UIDlgBuilder.h"
#include "platform/duilib/UIList.h"
#include "platform/duilib/UIProgress.h"
#include "platform/duilib/WinUser.h"
#include "platform/os/ChildProcess.h"
#include "platform/os/DebugPrint.h"
#include "platform/os/Paths.h"
#include "platform/os/Registry.h"
#include "platform/os/Shell.h"
#include "platform/os/Text.h"
#include "toolbox/ServerNames.h"
#include "toolbox/UserData.h"
#include "ui/OpenUrl.h"

#include <sys/stat.h>

#include <algorithm>

using namespace DuiLib;

namespace {

constexpr int kShowNormal = 1;

// A tool's install path may name a folder or a file.
bool PathExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

}  // namespace

CToolbox::CToolbox() : CToolbox(Options{}) {}

CToolbox::CToolbox(Options options)
    : m_dataFolder(os::GetUserDataFolder()),
      m_isUserAnAdmin(options.isUserAnAdmin ? std::move(options.isUserAnAdmin) : os::IsUserAnAdmin),
      m_installWait(options.installWait),
      m_updateWait(options.updateWait),
      m_archive(m_dataFolder) {}

CToolbox::~CToolbox() {
    StopWorkers();
    // The window goes while the paint manager that serves it still exists,
    // and none of its last messages reaches this half-destroyed object.
    DestroyWindowDetached();
    m_pm.RemoveNotifier(this);
}

std::string CToolbox::ArchivePath() const {
    return m_archive.Path();
}

std::string CToolbox::InstallerFolder() const {
    return os::PathJoin(m_dataFolder, kToolInstallerFolder);
}

void CToolbox::Init(std::string_view name, HWND owner, UINT readyMessage) {
    m_archive.StartCheck(name, owner, readyMessage);
}

bool CToolbox::IsAvailable() const {
    return m_archive.IsAvailable();
}

bool CToolbox::IsCheckRunning() const {
    return m_archive.IsCheckRunning();
}

void CToolbox::ShowAt(CControlUI* anchor, int x, int y) {
    if (::IsWindow(m_hWnd)) {
        if (x != m_left || y != m_top) {
            m_left = x;
            m_top = y;
            Place();
        }
        ShowWindow(true, true);
        // The main window keeps its active title bar while the panel is up.
        ::SendMessageW(m_topWindow, WM_NCACTIVATE, TRUE, 0);
        RefreshCaptions();
        return;
    }
    std::optional<std::string> data = m_archive.Read();
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

// The archive is the resource archive only while the layout is built and
// attached: the panel's paint manager keeps reading its images from it, and
// every other window built meanwhile or later reads the client's skin.
bool CToolbox::BuildFromArchive() {
    const TResourceZip saved = CPaintManagerUI::GetResourceZip();
    CControlUI* root = nullptr;
    if (CPaintManagerUI::SetResourceZip(m_archiveData.data(), m_archiveData.size())) {
        CDialogBuilder builder;
        root = builder.Create("skin.xml", {}, nullptr, &m_pm);
        if (root != nullptr)
            m_pm.AttachDialog(root);
    }
    // Bytes that are no archive left none in force: the skin comes back too.
    CPaintManagerUI::SetResourceZip(saved.data, saved.size);
    return root != nullptr;
}

LRESULT CToolbox::OnCreate() {
    m_pm.Init(m_hWnd, "skin.xml");
    if (!BuildFromArchive())
        return -1;
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

void CToolbox::Hide() {
    // Hiding moves the focus away, which brings us here once more: hiding
    // a hidden window does nothing.
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
    const auto found = m_installs.find(index);
    return found != m_installs.end() && found->second.IsRunning();
}

bool CToolbox::InstallerInUse(const std::string& installer) const {
    return std::any_of(m_installs.begin(), m_installs.end(), [&installer](const auto& entry) {
        return entry.second.Installer() == installer && entry.second.IsRunning();
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

    CControlUI* entry = Entry(index);
    CControlUI* button = m_pm.FindSubControlByName(entry, "button");
    auto* progress = ControlCast<CProgressUI>(m_pm.FindSubControlByName(entry, "progress"));
    if (button != nullptr)
        button->SetVisible(false);
    if (progress != nullptr) {
        progress->SetValue(0);
        progress->SetVisible(true);
    }

    CToolboxInstall::Request request{index,
                                     installer,
                                     HostUrl(ServerHost::Toolbox, "/download/" + installer),
                                     InstallerFolder(),
                                     UserDataValue(userData, "setupcommond"),
                                     m_isUserAnAdmin};
    // The reports run on the UI thread while the panel and its install live.
    const bool started =
        m_installs[index].Start(std::move(request), m_hWnd,
                                [this](UINT msg, WPARAM wParam, int i) { OnEntryMessage(msg, wParam, i); });
    if (!started)
        OnEntryMessage(kMsgDownloadFailed, 0, index);
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
    if (code != 200)
        ::PostMessageW(m_hWnd, kMsgDownloadFailed, 0, static_cast<LPARAM>(userData));
}

void CToolbox::OnStart(const std::string& /*path*/, std::uint64_t /*length*/, DWORD /*userData*/) {}

int CToolbox::OnProgress(int failed, int /*reserved*/, std::uint64_t received, std::uint64_t total,
                         DWORD userData) {
    if (m_closing.load() || failed != 0)
        return 1;
    if (const std::optional<WPARAM> percent = CToolboxInstall::Percent(received, total))
        ::PostMessageW(m_hWnd, kMsgProgress, *percent, static_cast<LPARAM>(userData));
    return 0;
}

void CToolbox::OnComplete(DWORD userData) {
    ::PostMessageW(m_hWnd, kMsgDownloaded, 0, static_cast<LPARAM>(userData));
}

// The design's teardown: every worker is told to stop at once, then the
// installs get their wait together and the archive check its own. A worker
// still running after its wait is let go. UI thread.
void CToolbox::StopWorkers() {
    if (m_stopped)
        return;
    m_stopped = true;
    m_closing = true;
    m_archive.RequestStop();
    for (auto& [index, install] : m_installs)
        install.RequestStop();
    const auto deadline = std::chrono::steady_clock::now() + m_installWait;
    for (const auto& [index, install] : m_installs) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        install.WaitFor(std::max(left, std::chrono::milliseconds(0)));
    }
    m_archive.WaitFor(m_updateWait);
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
