#include "app/main/WinMain.h"

#include "account/UserSession.h"
#include "app/AppPaths.h"
#include "app/CloseSignalWatcher.h"
#include "app/CommandLine.h"
#include "config/LocalConfig.h"
#include "config/OemConfig.h"
#include "config/Settings.h"
#include "diag/CrashCapture.h"
#include "diag/RunLog.h"
#include "identity/InstallUuid.h"
#include "identity/MachineCode.h"
#include "identity/OsInfo.h"
#include "net/ServerHosts.h"
#include "net/SessionToken.h"
#include "platform/duilib/InstanceChannel.h"
#include "platform/duilib/MessageQueue.h"
#include "platform/duilib/UIManager.h"
#include "platform/duilib/WinUser.h"
#include "platform/duilib/backend/BackendChoice.h"
#include "platform/duilib/backend/gtk/GtkBackend.h"
#include "platform/os/Paths.h"
#include "platform/os/Text.h"
#include "platform/os/WorkerThread.h"
#include "shell/MainFrame.h"
#include "stats/StatsReporter.h"
#include "web/AutomationChannel.h"

#include <array>

namespace {

constexpr std::u16string_view kUninstallSwitch = u"/uninstall";
constexpr std::u16string_view kMakeMachineSwitch = u"/makemachine";
constexpr std::uint32_t kAppId = 34;
constexpr std::uint32_t kAppApiId = 2002;

// The statistics reporter's identity, in the order the reports expect it
// filled: host with the application ids, then system, channel, version,
// machine code and bitness.
void FillReporterIdentity() {
    CStatsReporter& reporter = CStatsReporter::Instance();
    reporter.SetHost(StatsHost());
    reporter.SetAppId(kAppId);
    reporter.SetAppApiId(kAppApiId);
    std::array<char16_t, 64> osName{};
    GetOsName(osName.data(), osName.size());
    reporter.SetOs(os::Utf16ToUtf8(osName.data()));
    reporter.SetChannelCode(COemConfig::Instance().PartnerId());
    reporter.SetVersion(ReadProgramVersion());
    reporter.SetMachineCode(MachineCode());
    reporter.SetOsBit(static_cast<std::uint32_t>(GetOsBits()));
}

void RunUninstall() {
    CAppPaths::Instance();
    COemConfig::Instance().Load(OemIniPath());
    FillReporterIdentity();
    // The outcome does not matter: the uninstaller goes on either way.
    CStatsReporter::Instance().SendAction(CStatsReporter::kActionUninstall);
}

void RunMakeMachine() {
    // Only a missing or malformed stored code is computed again.
    if (MachineCode().empty())
        BuildMachineCode();
    EnsureInstallUuid();
}

void RunHandOver(HWND running) {
    ::ShowWindow(running, SW_SHOW);
    ::SetForegroundWindow(running);
}

void RunInteractive(HMODULE instance) {
    // The windows show on the desktop when there is one (GTK), headless
    // otherwise; VANTO_BACKEND=headless|gtk decides instead.
    DuiLib::SetDisplayBackendMaker(&DuiLib::GtkBackend::Make);
    DuiLib::StartBackend();
    // SIGTERM and SIGINT close the main window as its close command would.
    CCloseSignalWatcher closeSignals;
    closeSignals.Start();
    // Off unless the environment names a socket (drivers of the journey).
    const std::unique_ptr<AutomationChannel> automation = AutomationChannel::StartFromEnvironment();

    const CAppPaths& paths = CAppPaths::Instance();
    COemConfig& oem = COemConfig::Instance();
    oem.Load(OemIniPath());
    CLocalConfig::Instance().Load(paths.UserDataFolder());
    FillReporterIdentity();

    if (!oem.LoadSkinArchive()) {
        ::MessageBoxW(nullptr, "软件皮肤资源丢失，无法运行，请重新安装！", "严重错误", MB_ICONERROR | MB_OK);
        return;
    }
    DuiLib::CPaintManagerUI::SetInstance(instance);
    DuiLib::CPaintManagerUI::SetSkinExt(".skin");
    DuiLib::CPaintManagerUI::SetSkinPath(os::PathJoin(paths.ProgramFolder(), "skin") + "/");
    DuiLib::CPaintManagerUI::SetResourceZip(oem.SkinArchive(), oem.SkinArchiveSize());
    WriteRunLog(RunLogMarker("node2"));
    WriteRunLog("install skin success");

    // The window's initialisation may wait on a message box (the web engine
    // missing): a close signal meanwhile already reaches the window.
    CMainFrame::SetWindowMadeHook([&closeSignals](HWND hwnd) { closeSignals.SetTarget(hwnd); });
    CMainFrame* frame = CMainFrame::GetInstance();
    CMainFrame::SetWindowMadeHook(nullptr);
    if (frame == nullptr) {
        closeSignals.SetTarget(nullptr);
        return;
    }
    WriteRunLog(RunLogMarker("node_end"));
    WriteRunLog("mainframe.getinstance success");
    // A window without its engine has closed itself already (the close is
    // on its way): it is not shown, and the loop ends once it is gone.
    if (frame->IsEngineReady()) {
        frame->CenterOnOwner();
        ::ShowWindow(frame->GetHWND(), SW_SHOWMAXIMIZED);
    }
    DuiLib::CPaintManagerUI::MessageLoop();
    closeSignals.SetTarget(nullptr);
}

// What the application module's end does: every window left goes (the main
// window among them) and the class is no longer offered to other starts.
void Teardown() {
    DuiLib::DestroyAllWindows();
    DuiLib::InstanceChannel::Instance().WithdrawAll();
}

// A worker that is still running now (the update check waiting on a stalled
// server) must not have the process's static objects destroyed under it, and
// the design waits for none: the process ends here, with exit code 0 as
// always. The run log is flushed after every line; the standard streams are
// flushed here. Nothing of the worker's is left half-written: registry values,
// profile files and downloads are each replaced in one step.
void EndWhileWorkersRun() {
    // Ended workers are joined (they may still be in their libraries'
    // thread-exit cleanup); with a worker running, the process ends here.
    os::WorkerThread::EndProcessIfWorkersRun(0);
}

}  // namespace

int wWinMain(HMODULE instance, HMODULE /*prevInstance*/, LPWSTR cmdLine, int /*cmdShow*/) {
    // First of all: a failure anywhere after this point ends in the crash
    // file and message rather than a silent death.
    InstallCrashHandlers();
    // The store calls read the logged-in user's token from the session.
    SetSessionTokenProvider([] { return UserSession::Instance().SessionToken(); });

    CRunLog& runLog = CRunLog::Instance();
    runLog.SetPath("./log.txt");
    runLog.Open();

    // There is no COM or common-controls library to start here; the UI
    // thread is this thread, as every window of the run belongs to it.
    DuiLib::MessageQueue::Instance().BindUiThread();

    const std::u16string_view line =
        cmdLine != nullptr ? std::u16string_view(cmdLine) : std::u16string_view();
    if (CommandLineHas(line, kUninstallSwitch)) {
        RunUninstall();
    } else if (CommandLineHas(line, kMakeMachineSwitch)) {
        RunMakeMachine();
    } else if (HWND running = ::FindWindowW(CMainFrame::kWindowClass, nullptr); running != nullptr) {
        RunHandOver(running);
    } else {
        RunInteractive(instance);
    }
    Teardown();
    EndWhileWorkersRun();
    return 0;
}
