// Layout building: every layout of the built-in skin, read from an archive
// in memory as the program reads it, built, attached to a window's manager
// and laid out; and a generated window of a few hundred controls for when
// the skin is not there.
#include <benchmark/benchmark.h>

#include <zip.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/duilib/UIDlgBuilder.h"
#include "platform/duilib/UIManager.h"

using namespace DuiLib;

namespace {

struct SkinArchive {
    std::string bytes;
    std::vector<std::string> layouts;
};

// Zips the skin folder into memory (libzip), listing its layouts.
SkinArchive ZipSkinFolder(const std::filesystem::path& folder) {
    SkinArchive archive;
    std::error_code error;
    if (!std::filesystem::is_directory(folder, error))
        return archive;
    std::vector<std::pair<std::string, std::string>> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder, error)) {
        if (!entry.is_regular_file())
            continue;
        std::ifstream in(entry.path(), std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const std::string name = std::filesystem::relative(entry.path(), folder).generic_string();
        if (entry.path().extension() == ".xml")
            archive.layouts.push_back(name);
        files.emplace_back(name, std::move(bytes));
    }
    zip_error_t zipError;
    zip_error_init(&zipError);
    zip_source_t* out = zip_source_buffer_create(nullptr, 0, 0, &zipError);
    zip_source_keep(out);
    zip_t* zip = zip_open_from_source(out, ZIP_TRUNCATE, &zipError);
    for (const auto& [name, bytes] : files)
        zip_file_add(zip, name.c_str(), zip_source_buffer(zip, bytes.data(), bytes.size(), 0), 0);
    zip_close(zip);
    zip_stat_t stat;
    zip_source_stat(out, &stat);
    zip_source_open(out);
    archive.bytes.resize(stat.size);
    zip_source_read(out, archive.bytes.data(), stat.size);
    zip_source_close(out);
    zip_source_free(out);
    zip_error_fini(&zipError);
    return archive;
}

std::string GeneratedWindow(int rows) {
    std::string xml =
        R"(<Window size="870,578" caption="0,0,0,38"><Font id="0" size="12" default="true"/>)"
        R"(<Default name="Button" value="height=&quot;28&quot; textcolor=&quot;#FF333333&quot;"/>)"
        R"(<VerticalLayout name="root" inset="4,4,4,4" childpadding="2">)";
    for (int i = 0; i < rows; ++i) {
        const std::string n = std::to_string(i);
        xml += R"(<HorizontalLayout height="30"><Label name="label)";
        xml += n;
        xml += R"(" text="Row {b}x{/b}" showhtml="true"/><Option name="opt)";
        xml += n;
        xml += R"(" group="g" width="60"/><Button name="btn)";
        xml += n;
        xml += R"(" width="80" normalimage="file='btn.png' source='0,0,80,28'"/><Edit name="edit)";
        xml += n;
        xml += R"(" maxchar="11"/></HorizontalLayout>)";
    }
    return xml + "</VerticalLayout></Window>";
}

// The skin folder of the source tree; VANTO_BENCH_SKIN_DIR names another.
std::string SkinFolder() {
    const char* other = std::getenv("VANTO_BENCH_SKIN_DIR");
    return other != nullptr && *other != '\0' ? other : VANTO_SKIN_DIR;
}

void BM_BuildEverySkinLayout(benchmark::State& state) {
    const std::string folder = SkinFolder();
    const SkinArchive skin = ZipSkinFolder(folder);
    if (skin.layouts.empty()) {
        state.SkipWithError(("no skin layouts in " + folder).c_str());
        return;
    }
    CPaintManagerUI::SetResourceZip(skin.bytes.data(), skin.bytes.size());
    for (auto _ : state) {
        for (const std::string& layout : skin.layouts) {
            CPaintManagerUI manager;
            CDialogBuilder builder;
            if (CControlUI* root = builder.Create(layout, {}, nullptr, &manager)) {
                manager.AttachDialog(root);
                manager.UpdateLayout(RECT{0, 0, 870, 578});
            }
        }
    }
    state.counters["layouts"] = static_cast<double>(skin.layouts.size());
    CPaintManagerUI::SetResourceZip(nullptr, 0);
}
BENCHMARK(BM_BuildEverySkinLayout)->Unit(benchmark::kMicrosecond);

void BM_BuildGeneratedWindow(benchmark::State& state) {
    const std::string xml = GeneratedWindow(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        CPaintManagerUI manager;
        CDialogBuilder builder;
        CControlUI* root = builder.Create(xml, {}, nullptr, &manager);
        manager.AttachDialog(root);
        manager.UpdateLayout(RECT{0, 0, 870, 578});
        benchmark::DoNotOptimize(manager.FindControl("btn0"));
    }
    state.counters["controls"] = static_cast<double>(state.range(0) * 5 + 1);
}
BENCHMARK(BM_BuildGeneratedWindow)->Arg(10)->Arg(100)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
