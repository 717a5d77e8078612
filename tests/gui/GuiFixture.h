#pragma once
// The fixture of the display back end's tests: a UI thread on the GTK back
// end (the tests run under tests/gui/with-xvfb.sh, which sets
// VANTO_BACKEND=gtk and a private Xvfb display), the built-in skin in force,
// and windows built from its layouts.

#include "platform/duilib/Automation.h"
#include "platform/duilib/UIManager.h"
#include "platform/duilib/UIWkeWebkit.h"
#include "platform/duilib/UiThread.h"
#include "platform/duilib/WinImplBase.h"
#include "platform/duilib/WinUser.h"
#include "platform/duilib/backend/gtk/GtkBackend.h"
#include "platform/duilib/backend/gtk/probes/GtkProbes.h"
#include "platform/os/Resource.h"
#include "support/Sandbox.h"
#include "ui/TestScreen.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace guitest {

// A window of one of the skin's layouts (or literal layout text),
// recording its notifications.
class LayoutWindow : public DuiLib::WindowImplBase {
  public:
    explicit LayoutWindow(std::string layout) : m_layout(std::move(layout)) {}
    const char* GetWindowClassName() const override { return "VANTODialogClass"; }
    std::string GetSkinFile() override { return m_layout; }
    void Notify(DuiLib::TNotifyUI& msg) override {
        notes.push_back(msg.sType + ":" + (msg.pSender != nullptr ? msg.pSender->GetName() : std::string()));
        WindowImplBase::Notify(msg);
    }
    void OnClick(DuiLib::TNotifyUI& msg) override {
        if (msg.pSender->GetName() == "btnClose")
            Close(IDCANCEL);
        else
            WindowImplBase::OnClick(msg);
    }
    std::vector<std::string> notes;

  private:
    std::string m_layout;
};

// An engine view whose native widget is a plain GTK widget the test owns.
class WidgetPeer : public DuiLib::IWkeViewPeer {
  public:
    explicit WidgetPeer(GtkWidget* widget) : m_widget(widget) {}
    void Navigate(const std::string&) override {}
    void Back() override {}
    void Forward() override {}
    void Reload() override {}
    wkeWebView GetWebView() const override { return nullptr; }
    void* GetNativeWidget() const override { return m_widget; }

  private:
    GtkWidget* m_widget;
};

class GuiTest : public ::testing::Test {
  protected:
    // The UI thread on the test screen, on the virtual clock.
    GuiTest() : GuiTest(DuiLib::UiThread::Options{.screen = uitest::TestScreen()}) {}
    // A UI thread of other options (a screen of a desktop's size, the real
    // clock for a window that runs as the program runs it).
    explicit GuiTest(DuiLib::UiThread::Options options) : ui(std::move(options)) {}

    void SetUp() override {
        if (Gtk() == nullptr)
            GTEST_SKIP() << "needs a display: run under tests/gui/with-xvfb.sh";
        const os::ResourceBytes skin = os::FindResourceBytes("DATA", 202);
        ASSERT_NE(skin.data, nullptr) << "the skin resource is linked into this test";
        ASSERT_TRUE(DuiLib::CPaintManagerUI::SetResourceZip(skin.data, skin.size));
    }
    void TearDown() override {
        ui.Run([this] { windows.clear(); });
        DuiLib::CPaintManagerUI::SetResourceZip(nullptr, 0);
    }

    // The probes of the display back end; null when the UI thread is headless.
    DuiLib::GtkProbes* Gtk() { return probes.Valid() ? &probes : nullptr; }

    // Creates (and shows, unless told not to) a window of `layout`; null
    // when it cannot be built. The test owns it.
    LayoutWindow* Open(const std::string& layout, bool show = true, DWORD style = UI_WNDSTYLE_DIALOG) {
        LayoutWindow* window = nullptr;
        EXPECT_TRUE(ui.Run([&] {
            auto created = std::make_unique<LayoutWindow>(layout);
            if (created->Create(nullptr, "", style, 0) == nullptr)
                return;
            created->CenterWindow();
            if (show)
                created->ShowWindow(true);
            window = created.get();
            windows.push_back(std::move(created));
        }));
        return window;
    }

    // The window's pixels as the display shows them (after its paints).
    std::optional<DuiLib::GtkProbes::Image> Grab(HWND hwnd) {
        std::optional<DuiLib::GtkProbes::Image> image;
        ui.Run([&] { image = Gtk()->GrabWindow(hwnd); });
        return image;
    }
    std::optional<DuiLib::GtkProbes::Image> Render(HWND hwnd, bool composited = false) {
        std::optional<DuiLib::GtkProbes::Image> image;
        ui.Run([&] { image = Gtk()->RenderWindow(hwnd, composited); });
        return image;
    }

    // The control's centre in screen coordinates.
    POINT ScreenCentre(HWND hwnd, const std::string& name) {
        POINT pt{};
        ui.Run([&] {
            if (DuiLib::CControlUI* control = DuiLib::Automation::FindControl(hwnd, name)) {
                const RECT rc = control->GetPos();
                pt = POINT{(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
                ClientToScreen(hwnd, &pt);
            }
        });
        return pt;
    }
    // Runs xdotool (real input through the X server's XTest extension)
    // against the test's display; true when it succeeded.
    static bool Xdo(const std::string& arguments) {
        return std::system(("xdotool " + arguments + " >/dev/null 2>&1").c_str()) == 0;
    }
    // A real click of the first button at `at` (screen coordinates); returns
    // once the X server has moved the pointer there.
    static bool ClickAt(POINT at) {
        return Xdo("mousemove --sync " + std::to_string(at.x) + " " + std::to_string(at.y) + " click 1");
    }

    // Where a test writes pictures a reader may look at.
    static std::string OutputDir() {
        const std::string dir = std::string(VANTO_BINARY_DIR) + "/gui-output";
        std::filesystem::create_directories(dir);
        return dir;
    }

    vtest::Sandbox sandbox;
    DuiLib::UiThread ui;
    DuiLib::GtkProbes probes{ui.Backend()};
    DuiLib::Automation automation;
    std::vector<std::unique_ptr<LayoutWindow>> windows;
};

// Whether two pixels are further apart than `tolerance` in any channel.
inline bool PixelsDiffer(std::uint32_t a, std::uint32_t b, int tolerance) {
    for (int shift = 0; shift < 32; shift += 8) {
        const int ca = static_cast<int>((a >> shift) & 0xFF);
        const int cb = static_cast<int>((b >> shift) & 0xFF);
        if (std::abs(ca - cb) > tolerance)
            return true;
    }
    return false;
}

// Pixels further apart than `tolerance` in any channel; with `shape` (a
// window's rounded shape, window coordinates) only those inside it count,
// the rest being whatever lies behind the window.
inline int CountDifferent(const DuiLib::GtkProbes::Image& a, const DuiLib::GtkProbes::Image& b, int tolerance,
                          const std::vector<RECT>& shape = {}) {
    if (a.width != b.width || a.height != b.height)
        return a.width * a.height + 1;
    auto inside = [&](int x, int y) {
        if (shape.empty())
            return true;
        return std::any_of(shape.begin(), shape.end(), [&](const RECT& r) {
            return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
        });
    };
    int different = 0;
    for (int y = 0; y < a.height; ++y) {
        for (int x = 0; x < a.width; ++x) {
            if (inside(x, y) && PixelsDiffer(a.At(x, y), b.At(x, y), tolerance))
                ++different;
        }
    }
    return different;
}

// Pixels of `area` (window coordinates) further apart than `tolerance`.
inline int CountDifferentIn(const DuiLib::GtkProbes::Image& a, const DuiLib::GtkProbes::Image& b,
                            const RECT& area, int tolerance) {
    int different = 0;
    for (long y = std::max(0L, area.top); y < std::min<long>(area.bottom, std::min(a.height, b.height));
         ++y) {
        for (long x = std::max(0L, area.left); x < std::min<long>(area.right, std::min(a.width, b.width));
             ++x) {
            if (PixelsDiffer(a.At(static_cast<int>(x), static_cast<int>(y)),
                             b.At(static_cast<int>(x), static_cast<int>(y)), tolerance))
                ++different;
        }
    }
    return different;
}

}  // namespace guitest
