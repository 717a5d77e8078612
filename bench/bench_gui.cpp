// The display back end's two costs a user feels, on the GTK back end (run it
// on a display, for example tests/gui/with-xvfb.sh build/release/bench/bench_gui):
//
//   BM_FormMainFirstFrame  from Create of "Form_Main" at 1920x1080 to its
//                          first frame painted on the display;
//   BM_HoverRepaint        from the mouse entering a button to the repaint
//                          of that button being on the display; the counter
//                          "damage_px" is the area repainted per hover (the
//                          button's alone: 30 x 30 = 900).
//
// Figures are never checked here (tests count the repaint area instead).
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>

#include "platform/duilib/UIManager.h"
#include "platform/duilib/UiThread.h"
#include "platform/duilib/WinImplBase.h"
#include "platform/duilib/backend/BackendChoice.h"
#include "platform/duilib/backend/gtk/GtkBackend.h"
#include "platform/duilib/backend/gtk/probes/GtkProbes.h"
#include "platform/os/Resource.h"

namespace {

using namespace DuiLib;

class MainWindow : public WindowImplBase {
  public:
    const char* GetWindowClassName() const override { return "VANTOWindowClass"; }
    std::string GetSkinFile() override { return "Form_Main.xml"; }
};

ScreenInfo FullHd() {
    ScreenInfo screen;
    screen.monitor = {0, 0, 1920, 1080};
    screen.workArea = {0, 0, 1920, 1080};
    return screen;
}

struct Session {
    Session() {
        const os::ResourceBytes skin = os::FindResourceBytes("DATA", 202);
        skinOk = skin.data != nullptr && CPaintManagerUI::SetResourceZip(skin.data, skin.size);
    }
    GtkProbes* Gtk() { return probes.Valid() ? &probes : nullptr; }
    bool skinOk = false;
    bool registered = (SetDisplayBackendMaker(&GtkBackend::Make), true);
    UiThread ui{UiThread::Options{.screen = FullHd(), .realTime = true}};
    GtkProbes probes{ui.Backend()};
};

void BM_FormMainFirstFrame(benchmark::State& state) {
    Session session;
    if (session.Gtk() == nullptr || !session.skinOk) {
        state.SkipWithError("needs a display (VANTO_BACKEND=gtk) and the skin");
        return;
    }
    for (auto _ : state) {
        double seconds = 0;
        bool painted = false;
        session.ui.Run([&] {
            const auto start = std::chrono::steady_clock::now();
            auto window = std::make_unique<MainWindow>();
            window->Create(nullptr, "", UI_WNDSTYLE_FRAME & ~WS_VISIBLE, 0);
            ::SetWindowPos(window->GetHWND(), nullptr, 0, 0, 1920, 1080, SWP_NOZORDER);
            window->ShowWindow(true);
            painted = session.Gtk()->FlushPaint(window->GetHWND(), std::chrono::seconds(10));
            seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            window.reset();
            session.Gtk()->Pump();
        });
        if (!painted) {
            state.SkipWithError("the window was not painted");
            return;
        }
        state.SetIterationTime(seconds);
    }
}
BENCHMARK(BM_FormMainFirstFrame)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20)
    ->Repetitions(5);

void BM_HoverRepaint(benchmark::State& state) {
    Session session;
    if (session.Gtk() == nullptr || !session.skinOk) {
        state.SkipWithError("needs a display (VANTO_BACKEND=gtk) and the skin");
        return;
    }
    std::unique_ptr<MainWindow> window;
    RECT button{};
    session.ui.Run([&] {
        window = std::make_unique<MainWindow>();
        window->Create(nullptr, "", UI_WNDSTYLE_FRAME & ~WS_VISIBLE, 0);
        ::SetWindowPos(window->GetHWND(), nullptr, 0, 0, 1920, 1080, SWP_NOZORDER);
        window->ShowWindow(true);
        session.Gtk()->FlushPaint(window->GetHWND());
        button = window->GetControlRect("btnMenu");
    });
    const HWND hwnd = window->GetHWND();
    double damage = 0;
    std::int64_t hovers = 0;
    bool inside = false;
    for (auto _ : state) {
        double seconds = 0;
        session.ui.Run([&] {
            session.Gtk()->ResetPaintStats(hwnd);
            inside = !inside;
            // In and out of the button; outside lies the web view's area,
            // where nothing takes clicks (no other control turns hot).
            const POINT pt = inside ? POINT{button.left + 5, button.top + 5} : POINT{button.left + 5, 400};
            const auto start = std::chrono::steady_clock::now();
            // The message as the back end posts it, handled at once.
            ::SendMessageW(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(pt.x, pt.y));
            session.Gtk()->FlushPaint(hwnd);
            seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            for (const RECT& rc : session.Gtk()->GetPaintStats(hwnd).allDamage)
                damage += static_cast<double>(rc.Width() * rc.Height());
            ++hovers;
        });
        state.SetIterationTime(seconds);
    }
    state.counters["damage_px"] = hovers > 0 ? damage / static_cast<double>(hovers) : 0;
    session.ui.Run([&] { window.reset(); });
}
BENCHMARK(BM_HoverRepaint)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(200)->Repetitions(5);

}  // namespace

BENCHMARK_MAIN();
