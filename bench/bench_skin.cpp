// Building the built-in skin's layouts from the archive embedded in the
// program, as the client's windows build them: every layout in turn into a
// window's paint manager (parse, controls, attributes, names), and the tree
// placed in a window of the layout's size. The target is under 5 ms for all
// of them together in the release build.
#include <benchmark/benchmark.h>

#include <memory>

#include "config/OemConfig.h"
#include "platform/duilib/UIDlgBuilder.h"
#include "platform/duilib/UIManager.h"

namespace {

const char* const kLayouts[] = {"Form_Main.xml", "Form_Menu.xml",     "Form_user_info.xml",
                                "dlg_about.xml", "dlg_message.xml",   "dlg_download.xml",
                                "dlg_reg.xml",   "dlg_webbrowser.xml"};
constexpr int kLayoutCount = static_cast<int>(sizeof kLayouts / sizeof kLayouts[0]);

bool InstallSkin(benchmark::State& state) {
    COemConfig oem;
    if (!oem.LoadSkinArchive() ||
        !DuiLib::CPaintManagerUI::SetResourceZip(oem.SkinArchive(), oem.SkinArchiveSize())) {
        state.SkipWithError("no embedded skin archive");
        return false;
    }
    return true;
}

// One window's build: false when the layout did not build.
bool BuildWindow(const char* layout) {
    auto manager = std::make_unique<DuiLib::CPaintManagerUI>();
    DuiLib::CDialogBuilder builder;
    DuiLib::CControlUI* root = builder.Create(layout, {}, nullptr, manager.get());
    if (root == nullptr) {
        return false;
    }
    manager->AttachDialog(root);
    const SIZE size = manager->GetInitSize();
    manager->UpdateLayout(RECT{0, 0, size.cx, size.cy});
    benchmark::DoNotOptimize(manager->FindControl("btnClose"));
    return true;
}

void BM_BuildEmbeddedSkin(benchmark::State& state) {
    if (!InstallSkin(state)) {
        return;
    }
    for (auto _ : state) {
        for (const char* layout : kLayouts) {
            if (!BuildWindow(layout)) {
                state.SkipWithError(layout);
                return;
            }
        }
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kLayoutCount);
    DuiLib::CPaintManagerUI::SetResourceZip(nullptr, 0);
}
BENCHMARK(BM_BuildEmbeddedSkin)->Unit(benchmark::kMillisecond);

void BM_BuildEmbeddedSkinLayout(benchmark::State& state) {
    if (!InstallSkin(state)) {
        return;
    }
    const char* layout = kLayouts[state.range(0)];
    state.SetLabel(layout);
    for (auto _ : state) {
        if (!BuildWindow(layout)) {
            state.SkipWithError(layout);
            return;
        }
    }
    DuiLib::CPaintManagerUI::SetResourceZip(nullptr, 0);
}
BENCHMARK(BM_BuildEmbeddedSkinLayout)->DenseRange(0, kLayoutCount - 1)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
