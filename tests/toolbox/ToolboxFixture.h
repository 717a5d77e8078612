#pragma once
// The toolbox against the demo store, driven headless: a UI thread on the
// test screen, the built-in skin in force as start-up puts it, a window with
// a "btnToolBox" button to open the panel from, fake desktop openers that
// record what they are asked to open, and PATH reaching vanto-reg for the
// demo store's tool installer.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "demo-store/ZipWriter.h"
#include "platform/duilib/Automation.h"
#include "platform/duilib/UIDlgBuilder.h"
#include "platform/duilib/UIList.h"
#include "platform/duilib/UIManager.h"
#include "platform/duilib/UIProgress.h"
#include "platform/duilib/UiThread.h"
#include "platform/duilib/WindowWnd.h"
#include "platform/os/Resource.h"
#include "support/DemoStore.h"
#include "support/Sandbox.h"
#include "toolbox/Toolbox.h"
#include "ui/StandInWindow.h"
#include "ui/TestScreen.h"

namespace toolboxtest {

// The ready message the main window passes to Init.
constexpr UINT kReadyMessage = 9038;
// The day of the month every test's toolbox takes for today.
constexpr int kToday = 15;

// The window the panel is opened from, with the button the main window has.
// It records the client messages it gets (the ready message) and the
// WM_NCACTIVATE it is sent. UI thread only.
class OwnerWindow : public uitest::StandInWindow {
  public:
    OwnerWindow()
        : StandInWindow(
              "ToolboxOwner",
              R"(<Window size="870,578"><VerticalLayout><Button name="btnToolBox" width="30" height="30"/>)"
              R"(</VerticalLayout></Window>)") {}
    DuiLib::CControlUI* Button() const { return Control("btnToolBox"); }
};

// What a list entry shows.
struct EntryView {
    std::string caption;
    bool buttonVisible = false;
    bool buttonEnabled = false;
    bool progressVisible = false;
    int progress = -1;
};

// A toolbox layout: the list's user data, and one entry per user-data text.
inline std::string Layout(const std::string& listUserData, const std::vector<std::string>& entries) {
    std::string xml = R"(<?xml version="1.0" encoding="utf-8"?>
<Window size="300,220"><VerticalLayout><List name="list" userdata=")" +
                      listUserData + R"(">)";
    for (const std::string& entry : entries) {
        xml += R"(<ListContainerElement height="40" userdata=")" + entry +
               R"("><HorizontalLayout>)"
               R"(<Button name="button" width="64" height="26"/>)"
               R"(<Progress name="progress" width="64" height="6" visible="false"/>)"
               R"(</HorizontalLayout></ListContainerElement>)";
    }
    return xml + "</List></VerticalLayout></Window>";
}

inline std::string Archive(const std::string& layout) {
    demostore::ZipWriter zip;
    zip.Add("skin.xml", layout);
    return zip.Finish();
}

class ToolboxTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(store.Started());
        ASSERT_NE(m_skin.data, nullptr) << "the skin resource is linked into this test";
        ASSERT_TRUE(DuiLib::CPaintManagerUI::SetResourceZip(m_skin.data, m_skin.size));
        const std::string bin = sandbox.Root() + "/fakebin";
        std::filesystem::create_directories(bin);
        std::filesystem::create_directories(sandbox.Root() + "/out");
        std::filesystem::create_directories(sandbox.UserDataFolder());
        // The fakes first, so that no real opener is ever reached; vanto-reg
        // for the tool installer; the shell's tools for the rest.
        sandbox.SetEnv("PATH", bin + ":" + VANTO_BIN_DIR + ":/usr/bin:/bin");
        sandbox.SetEnv("XDG_DATA_HOME", sandbox.Home() + "/.local/share");
        for (const char* opener : {"xdg-open", "gio", "x-www-browser", "sensible-browser"})
            Fake(opener);
        auto owner = ui.Call<OwnerWindow*>([] {
            auto* window = new OwnerWindow;  // deleted in TearDown
            if (window->Create(nullptr, "owner", WS_VISIBLE | WS_OVERLAPPEDWINDOW, 0, 100, 100, 870, 578) ==
                nullptr) {
                delete window;
                return static_cast<OwnerWindow*>(nullptr);
            }
            return window;
        });
        ASSERT_TRUE(owner && *owner != nullptr);
        m_owner = *owner;
    }

    void TearDown() override {
        DestroyToolbox();
        ui.Run([this] { delete m_owner; });
        DuiLib::CPaintManagerUI::SetResourceZip(nullptr, 0);
    }

    // A fake program that appends each of its arguments as an "arg:" line
    // to out/<name>.
    void Fake(const std::string& name) const {
        const std::string path = sandbox.Root() + "/fakebin/" + name;
        vtest::WriteFile(path, "#!/bin/sh\nfor a in \"$@\"; do printf 'arg:%s\\n' \"$a\"; done >> " +
                                   sandbox.Root() + "/out/" + name + "\n");
        ::chmod(path.c_str(), 0755);
    }
    std::string Recorded(const std::string& name) const {
        return vtest::ReadFile(sandbox.Root() + "/out/" + name);
    }

    void MakeToolbox(CToolbox::Options options = {}) {
        ui.Run([&] {
            m_toolbox = std::make_unique<CToolbox>(std::move(options));
            m_toolbox->Archive().GetVersionFile().SetDayOfMonthSource([] { return kToday; });
        });
    }
    // Goes with its workers (the waits of its teardown); everything they
    // did has happened by then.
    void DestroyToolbox() {
        ui.Run([this] { m_toolbox.reset(); }, std::chrono::milliseconds(90000));
        automation.RunUntilIdle();
    }
    void Init(const std::string& name = "vanto") {
        ui.Run([&] { m_toolbox->Init(name, m_owner->GetHWND(), kReadyMessage); });
    }
    bool Available() {
        return ui.Call<bool>([this] { return m_toolbox->IsAvailable(); }).value_or(false);
    }

    // Opens the panel at (x, y), as the main window does on a click of its
    // button; the panel's window, or null when none is shown.
    HWND OpenPanel(int x = 400, int y = 140) {
        ui.Run([&] { m_toolbox->ShowAt(m_owner->Button(), x, y); });
        automation.RunUntilIdle();
        return ui
            .Call<HWND>(
                [this] { return ::IsWindowVisible(m_toolbox->GetHWND()) ? m_toolbox->GetHWND() : nullptr; })
            .value_or(nullptr);
    }

    // The entry's button (or progress) in the panel's tree; UI thread.
    static DuiLib::CControlUI* EntryPart(DuiLib::CPaintManagerUI& manager, int index, const char* part) {
        auto* list = manager.FindControl<DuiLib::CListUI>("list");
        if (list == nullptr || index >= list->GetCount())
            return nullptr;
        return manager.FindSubControlByName(list->GetItemAt(index), part);
    }
    std::optional<EntryView> Entry(int index) {
        return ui
            .Call<std::optional<EntryView>>([&]() -> std::optional<EntryView> {
                DuiLib::CPaintManagerUI& manager = m_toolbox->GetPaintManager();
                DuiLib::CControlUI* button = EntryPart(manager, index, "button");
                auto* progress =
                    DuiLib::ControlCast<DuiLib::CProgressUI>(EntryPart(manager, index, "progress"));
                if (button == nullptr || progress == nullptr)
                    return std::nullopt;
                return EntryView{button->GetText(), button->IsVisible(), button->IsEnabled(),
                                 progress->IsVisible(), progress->GetValue()};
            })
            .value_or(std::nullopt);
    }
    bool ClickEntry(HWND panel, int index) {
        return automation.Click(
            panel, [index](DuiLib::CPaintManagerUI& manager) { return EntryPart(manager, index, "button"); });
    }
    // Waits until the entry shows its button enabled again (the download or
    // the installer is over).
    std::optional<EntryView> WaitForButton(int index) {
        std::optional<EntryView> view;
        vtest::WaitFor([&] {
            view = Entry(index);
            return view && view->buttonVisible && view->buttonEnabled && !view->progressVisible;
        });
        return view;
    }

    std::vector<UINT> OwnerReceived() {
        return ui.Call<std::vector<UINT>>([this] { return m_owner->received; }).value_or(std::vector<UINT>{});
    }
    const void* ArchiveInForce() const { return DuiLib::CPaintManagerUI::GetResourceZip().data; }

    // Requests for `path` that reached the toolbox host.
    int Arrived(const std::string& path) const {
        int count = 0;
        for (const Json::Value& request : store.Requests("toolbox"))
            count += request["path"].asString() == path ? 1 : 0;
        return count;
    }
    bool SetFault(const std::string& path, Json::Value fault) const {
        fault["service"] = "toolbox";
        fault["path"] = path;
        return store.SetFault(fault);
    }

    std::string ArchivePath() const { return sandbox.UserDataFolder() + "/toolbox.dat"; }
    std::string InstallerPath(const std::string& name) const {
        return sandbox.UserDataFolder() + "/toolbox-installers/" + name;
    }
    // The archive the demo store serves at /vanto/toolbox.zip.
    std::string SampleArchive() const {
        return vtest::ReadFile(store.DataDir() + "/files/toolbox/vanto/toolbox.zip");
    }

    vtest::Sandbox sandbox;
    vtest::DemoStore store{sandbox};
    DuiLib::UiThread ui{DuiLib::UiThread::Options{.screen = uitest::TestScreen()}};
    DuiLib::Automation automation;
    std::unique_ptr<CToolbox> m_toolbox;
    OwnerWindow* m_owner = nullptr;
    os::ResourceBytes m_skin = os::FindResourceBytes("DATA", 202);
};

}  // namespace toolboxtest
