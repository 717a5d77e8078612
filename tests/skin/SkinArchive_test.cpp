// The embedded archive itself: the bytes the program carries are the zip the
// build wrote, it holds exactly the skin folder's layouts and images, zipping
// is reproducible, and the images are sound PNGs of the sizes the layouts
// cut them by.

#include <gtest/gtest.h>
#include <zip.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "SkinFixture.h"
#include "platform/os/Resource.h"
#include "support/Sandbox.h"

namespace {

namespace fs = std::filesystem;

// name -> bytes of every entry, read with libzip.
std::map<std::string, std::string> ReadZip(const void* data, std::size_t size) {
    std::map<std::string, std::string> entries;
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(data, size, 0, &error);
    zip_t* archive = source != nullptr ? zip_open_from_source(source, ZIP_RDONLY, &error) : nullptr;
    if (archive == nullptr) {
        if (source != nullptr) {
            zip_source_free(source);
        }
        zip_error_fini(&error);
        return entries;
    }
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t stat;
        zip_stat_init(&stat);
        if (zip_stat_index(archive, static_cast<zip_uint64_t>(i), 0, &stat) != 0) {
            continue;
        }
        std::string bytes(stat.size, '\0');
        zip_file_t* file = zip_fopen_index(archive, static_cast<zip_uint64_t>(i), 0);
        if (file != nullptr) {
            const zip_int64_t read = zip_fread(file, bytes.data(), bytes.size());
            bytes.resize(read < 0 ? 0 : static_cast<std::size_t>(read));
            zip_fclose(file);
        }
        entries.emplace(stat.name, std::move(bytes));
    }
    zip_close(archive);
    zip_error_fini(&error);
    return entries;
}

std::uint32_t BigEndian32(const std::string& bytes, std::size_t at) {
    return (static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at])) << 24) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 16) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 8) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 3]));
}

class SkinArchiveTest : public skintest::SkinTest {
  protected:
    std::string Embedded() const {
        return std::string(static_cast<const char*>(m_oem.SkinArchive()), m_oem.SkinArchiveSize());
    }
};

TEST_F(SkinArchiveTest, ProgramCarriesTheArchiveTheBuildWrote) {
    const std::string built = vtest::ReadFile(VANTO_SKIN_ZIP);
    ASSERT_FALSE(built.empty());
    EXPECT_EQ(Embedded(), built);
    // The Windows-shaped lookup the start-up uses agrees.
    HRSRC info = FindResourceA(nullptr, MAKEINTRESOURCEA(202), "DATA");
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(SizeofResource(nullptr, info), built.size());
    EXPECT_EQ(LockResource(LoadResource(nullptr, info)), m_oem.SkinArchive());
    // Small enough to carry in every build.
    EXPECT_LT(built.size(), 64u * 1024u);
}

TEST_F(SkinArchiveTest, HoldsExactlyTheLayoutsAndImagesOfTheSkinFolder) {
    std::vector<std::string> expected;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(VANTO_SKIN_DIR)) {
        const std::string relative = fs::relative(entry.path(), VANTO_SKIN_DIR).generic_string();
        const std::string extension = entry.path().extension().string();
        if (entry.is_regular_file() && relative.rfind("tools/", 0) != 0 &&
            (extension == ".xml" || extension == ".png")) {
            expected.push_back(relative);
        }
    }
    std::sort(expected.begin(), expected.end());
    const std::string embedded = Embedded();
    std::vector<std::string> names;
    for (const auto& [name, bytes] : ReadZip(embedded.data(), embedded.size())) {
        names.push_back(name);
        EXPECT_EQ(bytes, vtest::ReadFile(std::string(VANTO_SKIN_DIR) + "/" + name)) << name;
    }
    EXPECT_EQ(names, expected);
    for (const skintest::LayoutInfo& layout : skintest::AllLayouts()) {
        EXPECT_NE(std::find(names.begin(), names.end(), layout.file), names.end()) << layout.file;
    }
}

TEST_F(SkinArchiveTest, ImagesArePngsOfTheirFrameSizes) {
    const std::string embedded = Embedded();
    const std::map<std::string, std::pair<std::uint32_t, std::uint32_t>> sizes = {
        // Three 28x28 frames: normal, hot, pushed.
        {"default/button/pic_login_qq.png", {84, 28}},
        {"default/button/pic_login_wechat.png", {84, 28}},
        {"default/button/pic_login_tel.png", {84, 28}},
        {"images/arrow.png", {10, 6}},
        // Three 30x30 frames of the caption buttons.
        {"default/sys/btn_close.png", {90, 30}},
        {"default/main/tab_icons.png", {120, 40}},
    };
    int pngs = 0;
    for (const auto& [name, bytes] : ReadZip(embedded.data(), embedded.size())) {
        if (name.size() < 4 || name.compare(name.size() - 4, 4, ".png") != 0) {
            continue;
        }
        ++pngs;
        SCOPED_TRACE(name);
        ASSERT_GE(bytes.size(), 8u + 25u + 12u);
        EXPECT_EQ(bytes.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
        EXPECT_EQ(BigEndian32(bytes, 8), 13u);
        EXPECT_EQ(bytes.substr(12, 4), "IHDR");
        EXPECT_EQ(bytes.substr(bytes.size() - 8, 4), "IEND");
        const auto it = sizes.find(name);
        if (it != sizes.end()) {
            EXPECT_EQ(BigEndian32(bytes, 16), it->second.first);
            EXPECT_EQ(BigEndian32(bytes, 20), it->second.second);
        }
    }
    EXPECT_GE(pngs, 20);
}

// The zipping script runs as the build runs it.
class ZipSkinScriptTest : public vtest::SandboxTest {
  protected:
    vtest::ProcessResult Zip(const std::string& skinDir, const std::string& output) {
        return vtest::RunProcess(
            {VANTO_PYTHON, std::string(VANTO_SKIN_DIR) + "/tools/zip_skin.py", skinDir, output});
    }
};

TEST_F(ZipSkinScriptTest, SameSourcesGiveTheSameBytesInAnyTimeZone) {
    const std::string first = sandbox.Root() + "/first.zip";
    const std::string second = sandbox.Root() + "/second.zip";
    ASSERT_EQ(Zip(VANTO_SKIN_DIR, first).exitCode, 0);
    sandbox.SetEnv("TZ", "Asia/Shanghai");
    ASSERT_EQ(Zip(VANTO_SKIN_DIR, second).exitCode, 0);
    const std::string bytes = vtest::ReadFile(first);
    EXPECT_FALSE(bytes.empty());
    EXPECT_EQ(bytes, vtest::ReadFile(second));
    EXPECT_EQ(bytes, vtest::ReadFile(VANTO_SKIN_ZIP));
    EXPECT_FALSE(vtest::Exists(first + ".partial"));
}

// The checked-in images are the drawing script's output: an edit of the
// script that was not run (or an image touched by hand) shows here.
TEST_F(ZipSkinScriptTest, CheckedInImagesAreWhatTheDrawingScriptDraws) {
    const std::string drawn = sandbox.Root() + "/drawn";
    const vtest::ProcessResult result =
        vtest::RunProcess({VANTO_PYTHON, "-B", std::string(VANTO_SKIN_DIR) + "/tools/draw_images.py", drawn});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    int compared = 0;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(drawn)) {
        if (!entry.is_regular_file()) {
            continue;
        }
        const std::string relative = fs::relative(entry.path(), drawn).generic_string();
        EXPECT_EQ(vtest::ReadFile(entry.path().string()),
                  vtest::ReadFile(std::string(VANTO_SKIN_DIR) + "/" + relative))
            << relative;
        ++compared;
    }
    EXPECT_GE(compared, 20);
}

TEST_F(ZipSkinScriptTest, FolderWithoutLayoutsFailsAndLeavesNoArchive) {
    const std::string empty = sandbox.Root() + "/empty-skin";
    fs::create_directories(empty + "/tools");
    vtest::WriteFile(empty + "/tools/ignored.xml", "<Window/>");
    const std::string output = sandbox.Root() + "/skin.zip";
    const vtest::ProcessResult result = Zip(empty, output);
    EXPECT_NE(result.exitCode, 0);
    EXPECT_FALSE(vtest::Exists(output));
    EXPECT_FALSE(vtest::Exists(output + ".partial"));
}

TEST_F(ZipSkinScriptTest, UnwritableOutputFailsAndLeavesNoArchive) {
    // The output's folder cannot be made: a file stands where it would be.
    vtest::WriteFile(sandbox.Root() + "/taken", "a file");
    const std::string output = sandbox.Root() + "/taken/skin.zip";
    const vtest::ProcessResult result = Zip(VANTO_SKIN_DIR, output);
    EXPECT_NE(result.exitCode, 0);
    EXPECT_FALSE(vtest::Exists(output));
}

}  // namespace
