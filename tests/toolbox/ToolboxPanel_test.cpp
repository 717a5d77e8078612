// The panel, driven as a user would against the demo store: captions from
// the list, the archive switched in and out, placement, pages, installs of
// the demo tool and their failures, and the teardown of running installs.

#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <string>

#include "ToolboxFixture.h"
#include "platform/os/Registry.h"
#include "platform/os/WorkerThread.h"
#include "ui/ShowLangMessage.h"

namespace {

using DuiLib::CPaintManagerUI;
using toolboxtest::Archive;
using toolboxtest::EntryView;
using toolboxtest::Layout;
using toolboxtest::ToolboxTest;

constexpr const char* kInstallerPath = "/download/DemoToolSetup.exe";
// The captions of the demo store's archive.
constexpr const char* kOpen = "打开";
constexpr const char* kGet = "获取";
constexpr const char* kInstalling = "安装中";

class ToolboxPanelTest : public ToolboxTest {
  protected:
    // A tool folder registered under HKEY_LOCAL_MACHINE\Software\<key>.
    std::string RegisterTool(const std::string& key) {
        const std::string folder = sandbox.Root() + "/tools/" + key;
        std::filesystem::create_directories(folder);
        EXPECT_TRUE(os::RegSetString(HKEY_LOCAL_MACHINE, "Software\\" + key, "Path", folder));
        return folder;
    }
    // The demo store's archive as "toolbox.dat"; its second entry installs the demo tool.
    void UseSampleArchive() { vtest::WriteFile(ArchivePath(), SampleArchive()); }
    std::string DemoToolFolder() const { return sandbox.Home() + "/.local/share/vanto-demotool"; }
};

TEST_F(ToolboxPanelTest, CaptionsComeFromTheListWhateverTheCaseOfTheirKeys) {
    RegisterTool("VantoTestTool");
    // A tool whose install path names a file counts as installed too.
    const std::string file = sandbox.Root() + "/tools/single-file-tool";
    vtest::WriteFile(file, "x");
    ASSERT_TRUE(os::RegSetString(HKEY_LOCAL_MACHINE, "Software\\VantoFileTool", "Path", file));
    vtest::WriteFile(ArchivePath(),
                     Archive(Layout("OPEN=Open it;Get=Get = it now;installing=Busy",
                                    {"url=http://127.0.0.1:9/", "regedit=VantoTestTool;exe=tool",
                                     "regedit=NoSuchTool;installer=x.exe", "regedit=;exe=x",
                                     "REGEDIT=VantoFileTool;exe=x"})));
    MakeToolbox();
    ASSERT_NE(OpenPanel(), nullptr);
    ui.Run([&] {
        EXPECT_EQ(m_toolbox->CaptionOpen(), "Open it");
        EXPECT_EQ(m_toolbox->CaptionGet(), "Get = it now");
        EXPECT_EQ(m_toolbox->CaptionLearn(), "");
        EXPECT_EQ(m_toolbox->CaptionInstalling(), "Busy");
    });
    EXPECT_EQ(Entry(0)->caption, "");
    EXPECT_EQ(Entry(1)->caption, "Open it");
    EXPECT_EQ(Entry(2)->caption, "Get = it now");
    EXPECT_EQ(Entry(3)->caption, "Get = it now");
    EXPECT_EQ(Entry(4)->caption, "Open it");
}

TEST_F(ToolboxPanelTest, ThePanelPaintsFromItsArchiveWhileEveryOtherWindowReadsTheSkin) {
    UseSampleArchive();
    MakeToolbox();
    const HWND panel = OpenPanel();
    ASSERT_NE(panel, nullptr);
    // Built from its archive, which is in force no longer: the panel's own
    // images (a state image first painted on a hover, say) still come from
    // it, and everyone else's from the skin.
    EXPECT_EQ(ArchiveInForce(), m_skin.data);
    EXPECT_FALSE(CPaintManagerUI::LoadResourceFile("icon_tool.png").has_value());
    EXPECT_TRUE(CPaintManagerUI::LoadResourceFile("Form_Main.xml").has_value());
    ui.Run([&] {
        CPaintManagerUI& manager = m_toolbox->GetPaintManager();
        EXPECT_TRUE(manager.LoadWindowResource("icon_tool.png").has_value());
        EXPECT_FALSE(manager.LoadWindowResource("Form_Main.xml").has_value());
    });
    EXPECT_EQ(automation.FindByClass("QRNToolbox"), panel);
    // The main window keeps its active title bar; the panel has the focus.
    ui.Run([&] {
        EXPECT_FALSE(m_owner->ncActivate.empty());
        EXPECT_EQ(m_owner->ncActivate.back(), static_cast<WPARAM>(TRUE));
        EXPECT_EQ(::GetFocus(), panel);
        EXPECT_EQ(::GetWindowLongW(panel, GWL_EXSTYLE) & (WS_EX_TOPMOST | WS_EX_TOOLWINDOW),
                  static_cast<long>(WS_EX_TOPMOST | WS_EX_TOOLWINDOW));
        EXPECT_EQ(m_toolbox->GetRegionCorner(), (SIZE{3, 3}));
    });

    // Tab reaches the entries' buttons; Escape gives the keys back.
    ASSERT_TRUE(automation.PressKey(panel, VK_TAB));
    ui.Run([&] {
        DuiLib::CControlUI* focus = m_toolbox->GetPaintManager().GetFocus();
        ASSERT_NE(focus, nullptr);
        EXPECT_EQ(focus->GetName(), "button");
    });
    ASSERT_TRUE(automation.PressKey(panel, VK_ESCAPE));
    EXPECT_FALSE(automation.IsVisible(panel));
    EXPECT_EQ(ArchiveInForce(), m_skin.data);
    ui.Run([&] { EXPECT_EQ(::GetFocus(), m_owner->GetHWND()); });

    // The same panel comes back, painting from its archive, with the main
    // window's title bar kept active; losing the focus to another window
    // hides it again.
    const std::size_t activations =
        ui.Call<std::size_t>([&] { return m_owner->ncActivate.size(); }).value_or(0);
    EXPECT_EQ(OpenPanel(), panel);
    EXPECT_EQ(ArchiveInForce(), m_skin.data);
    ui.Run([&] {
        EXPECT_TRUE(m_toolbox->GetPaintManager().LoadWindowResource("icon_tool.png").has_value());
        ASSERT_GT(m_owner->ncActivate.size(), activations);
        EXPECT_EQ(m_owner->ncActivate.back(), static_cast<WPARAM>(TRUE));
        EXPECT_EQ(::GetFocus(), panel);
    });
    ASSERT_TRUE(automation.MoveFocusTo(m_owner->GetHWND()));
    EXPECT_FALSE(automation.IsVisible(panel));
    EXPECT_EQ(ArchiveInForce(), m_skin.data);

    // The toolbox going while its panel is shown leaves the skin in force.
    EXPECT_EQ(OpenPanel(), panel);
    DestroyToolbox();
    EXPECT_EQ(ArchiveInForce(), m_skin.data);
    EXPECT_FALSE(ui.Call<bool>([&] { return ::IsWindow(panel) != FALSE; }).value_or(true));
}

TEST_F(ToolboxPanelTest, AMessageBoxAskedForWhileThePanelIsShownFindsItsLayoutInTheSkin) {
    UseSampleArchive();
    MakeToolbox();
    const HWND panel = OpenPanel();
    ASSERT_NE(panel, nullptr);
    // A page's message box, or the update check's question, built while the
    // panel is up: its layout and images are the skin's, not the archive's.
    std::atomic<int> answer{-1};
    ui.Post([&] { answer = ShowLangMessage("NoSuchKey", m_owner->GetHWND(), 0x04, "Install the update?"); });
    const HWND box = automation.WaitForLayout("dlg_message.xml");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(automation.Text(box, "context"), "Install the update?");
    EXPECT_TRUE(ui.Call<bool>([&] {
                      CPaintManagerUI* manager = nullptr;
                      for (CPaintManagerUI* candidate : CPaintManagerUI::GetPaintManagers())
                          manager = candidate->GetPaintWindow() == box ? candidate : manager;
                      return manager != nullptr && manager->LoadWindowResource("Form_Main.xml").has_value() &&
                             !manager->LoadWindowResource("icon_tool.png").has_value();
                  }).value_or(false));
    ASSERT_TRUE(automation.Click(box, "btnYes"));
    EXPECT_TRUE(vtest::WaitFor([&] { return answer.load() == 6; }));
    EXPECT_TRUE(ui.Call<bool>([&] {
                      return m_toolbox->GetPaintManager().LoadWindowResource("icon_tool.png").has_value();
                  }).value_or(false));
}

TEST_F(ToolboxPanelTest, ThePanelIsPlacedInsideTheWorkArea) {
    UseSampleArchive();
    MakeToolbox();
    const auto rect = [&](HWND panel) {
        RECT rc;
        ui.Run([&] { ::GetWindowRect(panel, &rc); });
        return rc;
    };
    // The sample layout's window is 300 by 184.
    HWND panel = OpenPanel(100, 50);
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(rect(panel), (RECT{100, 50, 400, 234}));
    // Past the bottom-right corner of the work area (the task bar's 40
    // pixels are not part of it).
    ASSERT_TRUE(automation.PressKey(panel, VK_ESCAPE));
    EXPECT_EQ(OpenPanel(1200, 700), panel);
    EXPECT_EQ(rect(panel), (RECT{980, 576, 1280, 760}));
    ASSERT_TRUE(automation.PressKey(panel, VK_ESCAPE));
    EXPECT_EQ(OpenPanel(-350, -10), panel);
    EXPECT_EQ(rect(panel), (RECT{0, 0, 300, 184}));
}

TEST_F(ToolboxPanelTest, APanelWithoutAReadableArchiveDoesNotOpen) {
    MakeToolbox();
    EXPECT_EQ(OpenPanel(), nullptr);
    for (const std::string& bytes :
         {std::string(), std::string("not a zip"), Archive(Layout("", {})).substr(0, 40), [] {
              demostore::ZipWriter zip;
              zip.Add("other.xml", "<Window/>");
              return zip.Finish();
          }()}) {
        vtest::WriteFile(ArchivePath(), bytes);
        EXPECT_EQ(OpenPanel(), nullptr);
        EXPECT_EQ(ArchiveInForce(), m_skin.data);
    }
    // A good archive later opens as usual.
    UseSampleArchive();
    EXPECT_NE(OpenPanel(), nullptr);
}

TEST_F(ToolboxPanelTest, AnEntryWithAnAddressOnlyOpensItAndOnlyAWebAddress) {
    vtest::WriteFile(
        ArchivePath(),
        Archive(Layout("open=o;get=g;learn=l", {"url=file:///etc/passwd;installer=DemoToolSetup.exe",
                                                "url=http://127.0.0.1:9/a=b;installer=DemoToolSetup.exe"})));
    MakeToolbox();
    const HWND panel = OpenPanel();
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(Entry(0)->caption, "l");
    ASSERT_TRUE(ClickEntry(panel, 0));
    ASSERT_TRUE(ClickEntry(panel, 1));
    ASSERT_TRUE(vtest::WaitFor([&] { return !Recorded("xdg-open").empty(); }));
    EXPECT_EQ(Recorded("xdg-open"), "arg:http://127.0.0.1:9/a=b\n");
    for (int i = 0; i < 2; ++i) {
        const std::optional<EntryView> view = Entry(i);
        ASSERT_TRUE(view);
        EXPECT_TRUE(view->buttonVisible);
        EXPECT_FALSE(view->progressVisible);
    }
    EXPECT_EQ(Arrived(kInstallerPath), 0);
    EXPECT_FALSE(vtest::Exists(InstallerPath("DemoToolSetup.exe")));
}

TEST_F(ToolboxPanelTest, AToolInstalledThroughThePanelShowsOpenAndItsClickStartsIt) {
    UseSampleArchive();
    MakeToolbox({.isUserAnAdmin = [] { return false; }});
    const HWND panel = OpenPanel();
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(Entry(1)->caption, kGet);
    ASSERT_TRUE(ClickEntry(panel, 1));
    const std::optional<EntryView> done = WaitForButton(1);
    ASSERT_TRUE(done);
    EXPECT_EQ(done->caption, kOpen);
    EXPECT_TRUE(done->buttonEnabled);
    EXPECT_EQ(Arrived(kInstallerPath), 1);

    // The installer went to the installers' folder, runnable by this user only.
    struct stat st {};
    ASSERT_EQ(::stat(InstallerPath("DemoToolSetup.exe").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_FALSE(vtest::Exists(sandbox.UserDataFolder() + "/DemoToolSetup.exe"));
    EXPECT_EQ(os::RegGetString(HKEY_LOCAL_MACHINE, "Software\\VantoDemoTool", "Path"), DemoToolFolder());

    // The next opening finds it installed; its click starts the tool.
    ASSERT_TRUE(automation.PressKey(panel, VK_ESCAPE));
    ASSERT_EQ(OpenPanel(), panel);
    EXPECT_EQ(Entry(1)->caption, kOpen);
    ASSERT_TRUE(ClickEntry(panel, 1));
    ASSERT_TRUE(vtest::WaitFor([&] { return vtest::Exists(DemoToolFolder() + "/last-run.txt"); }));
    EXPECT_EQ(vtest::ReadFile(DemoToolFolder() + "/last-run.txt").rfind("args: \n", 0), 0u);
    EXPECT_EQ(Arrived(kInstallerPath), 1);
}

TEST_F(ToolboxPanelTest, AsAdministratorTheInstallerEndsOtherwiseAndTheNextOpeningShowsOpen) {
    UseSampleArchive();
    MakeToolbox({.isUserAnAdmin = [] { return true; }});
    const HWND panel = OpenPanel();
    ASSERT_NE(panel, nullptr);
    ASSERT_TRUE(ClickEntry(panel, 1));
    const std::optional<EntryView> done = WaitForButton(1);
    ASSERT_TRUE(done);
    // Enabled, the caption left as the download set it.
    EXPECT_EQ(done->caption, kInstalling);
    EXPECT_TRUE(done->buttonEnabled);
    ASSERT_TRUE(automation.PressKey(panel, VK_ESCAPE));
    ASSERT_EQ(OpenPanel(), panel);
    EXPECT_EQ(Entry(1)->caption, kOpen);
}

TEST_F(ToolboxPanelTest, AFailedInstallerDownloadShowsGetAgainAndLeavesNothing) {
    UseSampleArchive();
    Json::Value fault;
    fault["status"] = 404;
    ASSERT_TRUE(SetFault(kInstallerPath, fault));
    MakeToolbox();
    const HWND panel = OpenPanel();
    ASSERT_NE(panel, nullptr);
    ASSERT_TRUE(ClickEntry(panel, 1));
    const std::optional<EntryView> done = WaitForButton(1);
    ASSERT_TRUE(done);
    EXPECT_EQ(done->caption, kGet);
    EXPECT_TRUE(done->buttonEnabled);
    EXPECT_FALSE(vtest::Exists(InstallerPath("DemoToolSetup.exe")));
    EXPECT_FALSE(vtest::Exists(InstallerPath("DemoToolSetup.exe.upd")));

    // Cut short: the side file goes too.
    ASSERT_TRUE(store.ClearFaults());
    fault = Json::Value();
    fault["truncate"] = 10;
    ASSERT_TRUE(SetFault(kInstallerPath, fault));
    ASSERT_TRUE(ClickEntry(panel, 1));
    ASSERT_TRUE(vtest::WaitFor([&] { return Arrived(kInstallerPath) == 2; }));
    EXPECT_EQ(WaitForButton(1)->caption, kGet);
    EXPECT_FALSE(vtest::Exists(InstallerPath("DemoToolSetup.exe.upd")));
}

TEST_F(ToolboxPanelTest, ADownloadThatCannotBePutInPlaceCanBeTriedAgain) {
    UseSampleArchive();
    // A folder holding a file where the installer should go: the whole
    // download arrives, then it cannot replace the folder.
    std::filesystem::create_directories(InstallerPath("DemoToolSetup.exe"));
    vtest::WriteFile(InstallerPath("DemoToolSetup.exe") + "/keep", "x");
    MakeToolbox();
    const HWND panel = OpenPanel();
    ASSERT_NE(panel, nullptr);
    ASSERT_TRUE(ClickEntry(panel, 1));
    const std::optional<EntryView> done = WaitForButton(1);
    ASSERT_TRUE(done);
    EXPECT_EQ(done->caption, kGet);
    EXPECT_TRUE(done->buttonEnabled);
    EXPECT_TRUE(ClickEntry(panel, 1));
}

TEST_F(ToolboxPanelTest, ARunningInstallIsNotStartedAgainAndTheToolboxStopsItWhenItGoes) {
    UseSampleArchive();
    Json::Value stall;
    stall["stall"] = true;
    stall["truncate"] = 20;
    ASSERT_TRUE(SetFault(kInstallerPath, stall));
    const int before = os::WorkerThread::RunningCount();
    MakeToolbox();
    const HWND panel = OpenPanel();
    ASSERT_NE(panel, nullptr);
    ASSERT_TRUE(ClickEntry(panel, 1));
    ASSERT_TRUE(vtest::WaitFor([&] { return Arrived(kInstallerPath) == 1; }));
    std::optional<EntryView> view = Entry(1);
    ASSERT_TRUE(view);
    EXPECT_FALSE(view->buttonVisible);
    EXPECT_TRUE(view->progressVisible);
    // The button back while the download still runs (as after "installer
    // ended otherwise" posted just before its thread ends): a click starts
    // nothing new.
    ASSERT_TRUE(ui.Run([&] { ::PostMessageW(panel, CToolbox::kMsgInstallerEnded, 0, 1); }));
    ASSERT_TRUE(WaitForButton(1));
    ASSERT_TRUE(ClickEntry(panel, 1));
    view = Entry(1);
    ASSERT_TRUE(view);
    EXPECT_TRUE(view->buttonVisible);
    EXPECT_FALSE(view->progressVisible);
    EXPECT_EQ(Arrived(kInstallerPath), 1);
    EXPECT_EQ(os::WorkerThread::RunningCount(), before + 1);

    // Opened again while the install runs, the entry keeps the caption its
    // install gave it instead of going back to "get".
    ASSERT_TRUE(ui.Run([&] { ::PostMessageW(panel, CToolbox::kMsgDownloaded, 0, 1); }));
    ASSERT_TRUE(automation.RunUntilIdle());
    ASSERT_EQ(Entry(1)->caption, kInstalling);
    ASSERT_TRUE(automation.PressKey(panel, VK_ESCAPE));
    ASSERT_EQ(OpenPanel(), panel);
    EXPECT_EQ(Entry(1)->caption, kInstalling);
    EXPECT_EQ(Arrived(kInstallerPath), 1);

    // Its teardown stops the stalled download at once, not after its wait.
    const auto start = std::chrono::steady_clock::now();
    DestroyToolbox();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(os::WorkerThread::RunningCount(), before);
    EXPECT_FALSE(vtest::Exists(InstallerPath("DemoToolSetup.exe.upd")));
}

TEST_F(ToolboxPanelTest, TwoEntriesWithOneInstallerNeverDownloadItAtOnce) {
    vtest::WriteFile(ArchivePath(), Archive(Layout("get=g;installing=i", {"installer=DemoToolSetup.exe",
                                                                          "installer=DemoToolSetup.exe"})));
    Json::Value stall;
    stall["stall"] = true;
    stall["truncate"] = 20;
    ASSERT_TRUE(SetFault(kInstallerPath, stall));
    MakeToolbox();
    const HWND panel = OpenPanel();
    ASSERT_NE(panel, nullptr);
    ASSERT_TRUE(ClickEntry(panel, 0));
    ASSERT_TRUE(vtest::WaitFor([&] { return Arrived(kInstallerPath) == 1; }));
    // The second entry's click would write the same file while the first
    // download still writes it: nothing starts.
    ASSERT_TRUE(ClickEntry(panel, 1));
    ASSERT_TRUE(automation.RunUntilIdle());
    EXPECT_TRUE(Entry(1)->buttonVisible);
    EXPECT_FALSE(Entry(1)->progressVisible);
    EXPECT_EQ(Arrived(kInstallerPath), 1);
}

TEST_F(ToolboxPanelTest, WhenTheMainWindowGoesThePanelStopsItsWorkersAndThoseThatOutliveTheWaitsEndSafely) {
    UseSampleArchive();
    Json::Value stall;
    stall["stall"] = true;
    ASSERT_TRUE(SetFault(kInstallerPath, stall));
    ASSERT_TRUE(SetFault("/vanto/version.html", stall));
    const int before = os::WorkerThread::RunningCount();
    // No waits at all: every worker outlives them.
    MakeToolbox({.installWait = std::chrono::milliseconds(0), .updateWait = std::chrono::milliseconds(0)});
    Init();
    const HWND panel = OpenPanel();
    ASSERT_NE(panel, nullptr);
    ASSERT_TRUE(ClickEntry(panel, 1));
    ASSERT_TRUE(
        vtest::WaitFor([&] { return Arrived(kInstallerPath) == 1 && Arrived("/vanto/version.html") == 1; }));
    EXPECT_EQ(os::WorkerThread::RunningCount(), before + 2);

    // The owner (the main window) goes: the panel with it, and the workers
    // are told to stop; the toolbox object itself goes right after.
    ASSERT_TRUE(ui.Run([&] { ::DestroyWindow(m_owner->GetHWND()); }));
    EXPECT_FALSE(ui.Call<bool>([&] { return ::IsWindow(panel) != FALSE; }).value_or(true));
    DestroyToolbox();
    EXPECT_TRUE(vtest::WaitFor([&] { return os::WorkerThread::RunningCount() == before; }));
    EXPECT_TRUE(OwnerReceived().empty());
}

TEST_F(ToolboxPanelTest, NamesFromTheArchiveThatLeaveTheirFoldersStartNothing) {
    const std::string folder = RegisterTool("VantoTestTool");
    // A program beside the tool's folder that would tell if it ran.
    const std::string outside = sandbox.Root() + "/tools/outside.sh";
    vtest::WriteFile(outside, "#!/bin/sh\ntouch " + sandbox.Root() + "/out/outside-ran\n");
    ::chmod(outside.c_str(), 0755);
    vtest::WriteFile(ArchivePath(),
                     Archive(Layout("get=g", {"installer=../../evil.sh", "installer=config.ini", "installer=",
                                              "installer=..", "regedit=VantoTestTool;exe=../outside.sh",
                                              "regedit=VantoTestTool;exe=" + outside})));
    MakeToolbox();
    const HWND panel = OpenPanel();
    ASSERT_NE(panel, nullptr);
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        ASSERT_TRUE(ClickEntry(panel, i));
        const std::optional<EntryView> view = Entry(i);
        ASSERT_TRUE(view);
        EXPECT_TRUE(view->buttonVisible);
        EXPECT_FALSE(view->progressVisible);
    }
    ASSERT_TRUE(automation.RunUntilIdle());
    EXPECT_EQ(store.Requests("toolbox").size(), 0u);
    EXPECT_FALSE(vtest::Exists(sandbox.Root() + "/out/outside-ran"));
    EXPECT_FALSE(vtest::Exists(sandbox.UserDataFolder() + "/toolbox-installers"));
}

TEST_F(ToolboxPanelTest, ProgressIsAShareOfAKnownTotalAndMessagesForNoEntryAreIgnored) {
    vtest::WriteFile(ArchivePath(),
                     Archive(Layout("get=g;installing=i", {"installer=a.exe", "installer=b.exe"})));
    MakeToolbox();
    const HWND panel = OpenPanel();
    ASSERT_NE(panel, nullptr);
    ui.Run([&] {
        EXPECT_EQ(m_toolbox->OnProgress(0, 0, 50, 200, 1), 0);
        // Nothing announced: no share to compute, nothing posted.
        EXPECT_EQ(m_toolbox->OnProgress(0, 0, 70, 0, 1), 0);
        EXPECT_EQ(m_toolbox->OnProgress(1, 0, 70, 200, 1), 1);
        ::PostMessageW(panel, CToolbox::kMsgProgress, 99, 7);
        ::PostMessageW(panel, CToolbox::kMsgDownloadFailed, 0, -1);
    });
    ASSERT_TRUE(automation.RunUntilIdle());
    EXPECT_EQ(Entry(1)->progress, 25);
    EXPECT_EQ(Entry(0)->progress, 0);
    ui.Run([&] {
        m_toolbox->OnComplete(1);
        m_toolbox->OnStatus(200, 0);
    });
    ASSERT_TRUE(automation.RunUntilIdle());
    EXPECT_EQ(Entry(1)->caption, "i");
    EXPECT_FALSE(Entry(1)->buttonEnabled);
    EXPECT_EQ(Entry(0)->caption, "g");
    ui.Run([&] { m_toolbox->OnStatus(500, 1); });
    ASSERT_TRUE(automation.RunUntilIdle());
    EXPECT_EQ(Entry(1)->caption, "g");
    EXPECT_TRUE(Entry(1)->buttonEnabled);
}

}  // namespace
