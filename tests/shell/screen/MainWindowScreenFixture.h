#pragma once
// The main window as the program shows it, for the tests that drive it on a
// display (under tests/gui/with-xvfb.sh) with the GTK back end and the real
// web engine (node.so of WebKitGTK), against the demo store: the window
// opened maximised on a desktop-sized screen, its first page awaited on
// screen, real clicks (XTest, through xdotool) on its controls, and
// screenshots written as PNG files for a reviewer (ArtefactDir()).

#include "gui/GuiFixture.h"

#include "account/UserSession.h"
#include "platform/duilib/UIContainer.h"
#include "platform/duilib/UIWkeWebkit.h"
#include "platform/os/WorkerThread.h"
#include "shell/MainFrame.h"
#include "support/DemoStore.h"
#include "ui/BaseFrame.h"
#include "web/WkeLoader.h"
#include "web/my_WkeCallback.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace screentest {

// The header of every store page: the page is on screen where its web view
// shows this colour across the view.
constexpr std::uint32_t kPageHeaderColour = 0xFF2F6FDF;
// Every wait for the engine or the display: a web process starts, loads and
// paints in well under this on a loaded machine.
constexpr std::chrono::seconds kDeadline{30};

// A screen of a common desktop's size, larger than the window's least size.
// Prints how long a journey took since `start`, for a reader of the run.
inline void PrintElapsed(const char* journey, std::chrono::steady_clock::time_point start) {
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    std::printf("%s: %lld ms\n", journey, static_cast<long long>(elapsed.count()));
}

inline DuiLib::UiThread::Options DesktopScreen() {
    DuiLib::UiThread::Options options;
    options.screen.monitor = {0, 0, 1600, 900};
    options.screen.workArea = {0, 0, 1600, 860};
    options.screen.dpi = 96;
    // The window runs as in the program: timers (the dialog's fade-out, the
    // countdown) on the real clock.
    options.realTime = true;
    return options;
}

// Pixels of `image` within `area` (image coordinates) no further than
// `tolerance` from `colour` in any channel.
inline int CountColour(const DuiLib::GtkProbes::Image& image, const RECT& area, std::uint32_t colour,
                       int tolerance) {
    int count = 0;
    for (long y = std::max(0L, area.top); y < std::min<long>(area.bottom, image.height); ++y)
        for (long x = std::max(0L, area.left); x < std::min<long>(area.right, image.width); ++x)
            if (!guitest::PixelsDiffer(image.At(static_cast<int>(x), static_cast<int>(y)), colour, tolerance))
                ++count;
    return count;
}

class MainWindowScreenTest : public guitest::GuiTest {
  protected:
    MainWindowScreenTest() : GuiTest(DesktopScreen()) {}

    void SetUp() override {
        GuiTest::SetUp();
        if (IsSkipped())
            return;
        ASSERT_TRUE(store.Started());
        // The store's pages and logins; no update, statistics or toolbox
        // server (their questions and buttons are other tests' business).
        for (const char* host : {"VANTO_UPDATE_HOST", "VANTO_STATS_HOST", "VANTO_TOOLBOX_HOST"})
            sandbox.SetEnv(host, "127.0.0.1:1");
        sandbox.InstallLanguageFiles(VANTO_BIN_DIR "/language");
        // The real engine, where the program's loader looks for it.
        std::filesystem::copy_file(std::filesystem::path(VANTO_BIN_DIR) / kWkeModuleName,
                                   std::filesystem::path(sandbox.ProgramDir()) / kWkeModuleName);
        UserSession::Instance().Update([](UserSessionValues& values) { values = UserSessionValues{}; });
        CMainFrame::ForgetDestroyedInstance();
        CBaseFrame::ResetMainMonitorDpiCache();
    }

    void TearDown() override {
        if (!IsSkipped()) {
            ui.Run([] {
                if (CMainFrame* frame = CMainFrame::GetInstance())
                    DestroyWindow(frame->GetHWND());
            });
            EXPECT_TRUE(vtest::WaitFor([] { return os::WorkerThread::RunningCount() == 0; }));
            CMainFrame::ForgetDestroyedInstance();
            UserSession::Instance().Update([](UserSessionValues& values) { values = UserSessionValues{}; });
        }
        GuiTest::TearDown();
    }

    // The main window as the program makes and shows it.
    HWND OpenMainWindow() {
        return ui
            .Call<HWND>([] {
                CMainFrame* frame = CMainFrame::GetInstance();
                if (frame == nullptr || !frame->IsEngineReady())
                    return HWND{};
                ::ShowWindow(frame->GetHWND(), SW_SHOWMAXIMIZED);
                return frame->GetHWND();
            })
            .value_or(nullptr);
    }

    // The first tab's page has finished loading in the engine: the start
    // page's first finish was heard, the engine's view is at its address, and
    // the window shows the tab (not the loading or the disconnect frame).
    bool FirstPageLoaded(HWND window, const std::string& address) {
        automation.RunUntilIdle();
        return ui
            .Call<bool>([&] {
                auto* frame = CMainFrame::GetInstance();
                auto* view = DuiLib::ControlCast<DuiLib::CWkeWebkitUI>(
                    DuiLib::Automation::FindControl(window, "web_opt01"));
                auto* pages = DuiLib::ControlCast<DuiLib::CTabLayoutUI>(
                    DuiLib::Automation::FindControl(window, "switch"));
                if (frame == nullptr || view == nullptr || pages == nullptr ||
                    frame->WebCallback() == nullptr)
                    return false;
                const char* engineUrl = WkeFunctions().wkeGetURL(view->GetWebView());
                return frame->WebCallback()->LoadedCount() == 1 && engineUrl != nullptr &&
                       engineUrl == address && pages->GetCurSel() == 0 && pages->IsVisible();
            })
            .value_or(false);
    }

    // What the display shows of the window now.
    std::optional<DuiLib::GtkProbes::Image> Screenshot(HWND hwnd) {
        std::optional<DuiLib::GtkProbes::Image> image;
        ui.Run([&] {
            if (Gtk()->FlushPaint(hwnd))
                if (const std::optional<RECT> shown = Gtk()->DisplayedRect(hwnd))
                    image = Gtk()->GrabScreen(*shown);
        });
        return image;
    }
    // The control's rectangle in the window.
    RECT ControlRect(HWND hwnd, const std::string& name) {
        return ui
            .Call<RECT>([&] {
                DuiLib::CControlUI* control = DuiLib::Automation::FindControl(hwnd, name);
                return control != nullptr ? control->GetPos() : RECT{};
            })
            .value_or(RECT{});
    }
    // The store page's header across the web view's width in `shot`.
    static bool ShowsStorePage(const DuiLib::GtkProbes::Image& shot, const RECT& view) {
        return CountColour(shot, view, kPageHeaderColour, 4) >= view.Width() * 30;
    }
    // Waits until the window's screenshot satisfies `shows`; the last one.
    std::optional<DuiLib::GtkProbes::Image> WaitForScreen(
        HWND hwnd, const std::function<bool(const DuiLib::GtkProbes::Image&)>& shows) {
        std::optional<DuiLib::GtkProbes::Image> shot;
        vtest::WaitFor([&] { return (shot = Screenshot(hwnd)) && shows(*shot); }, kDeadline);
        return shot;
    }
    static std::string SaveArtefact(const DuiLib::GtkProbes::Image& shot, const std::string& name) {
        const std::string path = ArtefactDir() + "/" + name;
        EXPECT_TRUE(shot.WritePng(path)) << path;
        std::printf("screenshot: %s\n", path.c_str());
        return path;
    }
    // The acceptance screenshots' folder: build/<preset>/artefacts.
    static std::string ArtefactDir() {
        const std::string dir = std::string(VANTO_BINARY_DIR) + "/artefacts";
        std::filesystem::create_directories(dir);
        return dir;
    }

    // A real click on the control's centre, once its window is on screen.
    bool ClickControl(HWND hwnd, const std::string& name) {
        bool painted = false;
        ui.Run([&] { painted = Gtk()->FlushPaint(hwnd); });
        return painted && ClickAt(ScreenCentre(hwnd, name));
    }

    // Waits until the first tab has loaded `address` and the page is on
    // screen; the screenshot then.
    std::optional<DuiLib::GtkProbes::Image> WaitForFirstPage(HWND window, const std::string& address,
                                                             RECT& view) {
        if (!vtest::WaitFor([&] { return FirstPageLoaded(window, address); }, kDeadline)) {
            ADD_FAILURE() << "the first tab did not load " << address;
            return std::nullopt;
        }
        view = ControlRect(window, "web_opt01");
        EXPECT_GT(view.Width(), 400);
        return WaitForScreen(
            window, [&](const DuiLib::GtkProbes::Image& shot) { return ShowsStorePage(shot, view); });
    }

    vtest::DemoStore store{sandbox};
};

}  // namespace screentest
