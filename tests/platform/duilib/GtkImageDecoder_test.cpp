// The renderer's images without a display: the bound read from the header
// before any pixel is decoded, the formats taken, the colour key, and the
// cache that keeps them per archive and says a refusal once.
#include "GtkTestImages.h"
#include "TestSupport.h"

#include "platform/duilib/UIContainer.h"
#include "platform/duilib/UIManager.h"
#include "platform/duilib/UIRender.h"
#include "platform/duilib/backend/gtk/GtkImageCache.h"
#include "platform/duilib/backend/gtk/GtkImageDecoder.h"
#include "platform/os/DebugPrint.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <vector>

using namespace DuiLib;
using imagetest::GifDeclaring;
using imagetest::PngDeclaring;
using imagetest::Saved;

namespace {

// A BMP of gdk-pixbuf's with the 32-bit field at `at` replaced.
std::string PatchedBmp(std::size_t at, std::uint32_t value) {
    std::string bmp = Saved("bmp", 4, 4);
    for (std::size_t i = 0; i < 4; ++i)
        bmp[at + i] = static_cast<char>(value >> (8 * i));
    return bmp;
}

std::uint32_t PixelAt(cairo_surface_t* surface, int x, int y) {
    cairo_surface_flush(surface);
    const unsigned char* row = cairo_image_surface_get_data(surface) +
                               static_cast<std::ptrdiff_t>(y) * cairo_image_surface_get_stride(surface);
    return reinterpret_cast<const std::uint32_t*>(row)[x];
}

}  // namespace

TEST(ImageDecoder, AnImageLargerThanTheBoundEitherWayIsRefusedFromItsHeader) {
    struct Case {
        const char* name;
        std::string bytes;
        int width;
        int height;
    };
    const std::vector<Case> cases = {
        {"png 30000 x 30000 in a few hundred bytes", PngDeclaring(30000, 30000), 30000, 30000},
        {"png one column too wide", Saved("png", kMaxImageSide + 1, 1), kMaxImageSide + 1, 1},
        {"png one row too high", Saved("png", 1, kMaxImageSide + 1), 1, kMaxImageSide + 1},
        {"jpeg", Saved("jpeg", kMaxImageSide + 1, 8), kMaxImageSide + 1, 8},
        {"bmp", Saved("bmp", 1, kMaxImageSide + 1), 1, kMaxImageSide + 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_FALSE(c.bytes.empty());
        const DecodedImage image = DecodeImage(c.bytes, 0);
        EXPECT_EQ(image.refusal, ImageRefusal::TooLarge);
        EXPECT_EQ(image.surface, nullptr);
        EXPECT_EQ(image.width, c.width);
        EXPECT_EQ(image.height, c.height);
    }
}

TEST(ImageDecoder, ARefusedImagesPixelsAreNeverAllocated) {
    if (!imagetest::ResetPeakRss())
        GTEST_SKIP() << "this kernel cannot reset the peak resident size";
    const std::string png = PngDeclaring(30000, 30000);  // 3.6 GB as pixels
    const long before = imagetest::PeakRssKib();
    const DecodedImage image = DecodeImage(png, 0);
    const long grown = imagetest::PeakRssKib() - before;
    EXPECT_EQ(image.refusal, ImageRefusal::TooLarge);
    EXPECT_LT(grown, 64 * 1024) << "KiB: the decoder allocated the declared pixels";
}

TEST(ImageDecoder, AnImageAtTheBoundIsDecoded) {
    const DecodedImage image = DecodeImage(Saved("png", kMaxImageSide, kMaxImageSide, 0x336699FF), 0);
    ASSERT_EQ(image.refusal, ImageRefusal::None);
    ASSERT_NE(image.surface, nullptr);
    EXPECT_EQ(cairo_image_surface_get_width(image.surface.get()), kMaxImageSide);
    EXPECT_EQ(cairo_image_surface_get_height(image.surface.get()), kMaxImageSide);
    EXPECT_EQ(PixelAt(image.surface.get(), kMaxImageSide - 1, kMaxImageSide - 1), 0xFF336699u);
    // The bound is the caller's to set.
    EXPECT_EQ(DecodeImage(Saved("png", 65, 64), 0, 64).refusal, ImageRefusal::TooLarge);
    EXPECT_EQ(DecodeImage(Saved("png", 64, 64), 0, 64).refusal, ImageRefusal::None);
}

TEST(ImageDecoder, TakesTheFormatsThatReportTheirSizeFirstAndNoOthers) {
    for (const char* format : {"png", "jpeg", "bmp"}) {
        SCOPED_TRACE(format);
        const std::string bytes = Saved(format, 8, 4);
        ASSERT_NE(ImageFormatOf(bytes), nullptr);
        EXPECT_STREQ(ImageFormatOf(bytes), format);
        const DecodedImage image = DecodeImage(bytes, 0);
        ASSERT_NE(image.surface, nullptr);
        EXPECT_EQ(cairo_image_surface_get_width(image.surface.get()), 8);
    }
    const std::vector<std::pair<const char*, std::string>> refused = {
        // Its frames may lie beyond its screen, and are allocated as they say.
        {"gif", GifDeclaring(2, 2, 30000)},
        {"tiff", Saved("tiff", 8, 4)},
        {"ico", Saved("ico", 16, 16)},
        {"xpm", "/* XPM */\nstatic char* x[] = {\"30000 30000 1 1\", \"a c #000000\", \"a\"};\n"},
        {"svg", R"(<svg xmlns="http://www.w3.org/2000/svg" width="30000" height="30000"/>)"},
        {"text", "not an image"},
        // BMP headers whose fields its decoder would allocate by first: an
        // info header of 640 MiB, pixels 2 GiB into a small file, 4e9 colours.
        {"bmp info header", PatchedBmp(14, 0x28000000)},
        {"bmp pixel offset", PatchedBmp(10, 0x7FFFFFFF)},
        {"bmp colours", PatchedBmp(46, 0xEC000000)},
    };
    for (const auto& [name, bytes] : refused) {
        SCOPED_TRACE(name);
        EXPECT_EQ(DecodeImage(bytes, 0).refusal, ImageRefusal::UnknownFormat);
    }
    const std::string png = Saved("png", 8, 4);
    EXPECT_EQ(DecodeImage("", 0).refusal, ImageRefusal::Undecodable);
    EXPECT_EQ(DecodeImage(png.substr(0, 40), 0).refusal, ImageRefusal::Undecodable);
}

TEST(ImageDecoder, TheMaskColourBecomesTransparentAndTheRestIsPremultiplied) {
    const DecodedImage keyed = DecodeImage(Saved("png", 2, 2, 0xFF00FFFF), 0xFFFF00FF);
    ASSERT_NE(keyed.surface, nullptr);
    EXPECT_EQ(PixelAt(keyed.surface.get(), 1, 1), 0u);
    const DecodedImage half = DecodeImage(Saved("png", 1, 1, 0xFF000080), 0);
    ASSERT_NE(half.surface, nullptr);
    EXPECT_EQ(PixelAt(half.surface.get(), 0, 0), 0x80800000u);
}

namespace {

// A window's manager built while an archive of `files` was in force.
struct ArchiveWindow {
    explicit ArchiveWindow(const std::vector<std::pair<std::string, std::string>>& files)
        : zip(duitest::MakeZip(files)) {
        EXPECT_TRUE(CPaintManagerUI::SetResourceZip(zip.data(), zip.size()));
        manager.AttachDialog(new CVerticalLayoutUI);
        CPaintManagerUI::SetResourceZip(nullptr, 0);
    }
    std::string zip;
    CPaintManagerUI manager;
};

class ImageCacheTest : public ::testing::Test {
  protected:
    void SetUp() override {
        os::SetDebugSink([this](const std::string& text) { lines.push_back(text); });
    }
    void TearDown() override { os::SetDebugSink({}); }
    std::vector<std::string> lines;
    GtkImageCache cache;
};

}  // namespace

TEST_F(ImageCacheTest, AnArchivesOverLargeImageIsNotDrawnAndSaysSoOnce) {
    ArchiveWindow window(
        {{"big.png", PngDeclaring(30000, 30000)}, {"ok.png", Saved("png", 4, 4)}, {"odd.xpm", "/* XPM */"}});
    for (int paint = 0; paint < 3; ++paint) {
        EXPECT_EQ(cache.Get(window.manager, ParseImageString("big.png")), nullptr);
        EXPECT_EQ(cache.Get(window.manager, ParseImageString("odd.xpm")), nullptr);
        EXPECT_NE(cache.Get(window.manager, ParseImageString("file='ok.png' source='0,0,2,2'")), nullptr);
        EXPECT_EQ(cache.Get(window.manager, ParseImageString("missing.png")), nullptr);
    }
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "image 'big.png' not drawn: 30000 x 30000 pixels is more than 4096 x 4096");
    EXPECT_EQ(lines[1], "image 'odd.xpm' not drawn: not a PNG, JPEG or BMP image");
    EXPECT_EQ(cache.Count(), 4u);  // the refused and the missing ones are remembered too
}

TEST_F(ImageCacheTest, AFileOnDiskIsReadAgainUntilItDecodesButItsRefusalIsSaidOnce) {
    vtest::Sandbox sandbox;
    const std::string path = sandbox.Root() + "/head.png";
    std::ofstream(path, std::ios::binary) << PngDeclaring(5000, 5000);
    CPaintManagerUI manager;
    const TImageInfo info = ParseImageString("file='" + path + "' restype='fullpath'");
    EXPECT_EQ(cache.Get(manager, info), nullptr);
    EXPECT_EQ(cache.Get(manager, info), nullptr);
    EXPECT_EQ(lines.size(), 1u);
    EXPECT_EQ(cache.Count(), 0u);
    // The user's new picture arrives at the same place.
    std::ofstream(path, std::ios::binary | std::ios::trunc) << Saved("png", 4, 4);
    EXPECT_NE(cache.Get(manager, info), nullptr);
    EXPECT_EQ(cache.Count(), 1u);
}

TEST_F(ImageCacheTest, AFileReplacedAtTheSamePathIsShownAnewAndTheOldOneIsForgotten) {
    vtest::Sandbox sandbox;
    const std::string path = sandbox.Root() + "/pic_head.jpg";
    std::ofstream(path, std::ios::binary) << Saved("png", 4, 4, 0xFF0000FF);
    CPaintManagerUI manager;
    const TImageInfo info = ParseImageString("file='" + path + "' restype='fullpath'");
    cairo_surface_t* first = cache.Get(manager, info);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(cache.Get(manager, info), first);  // decoded once
    EXPECT_EQ(PixelAt(first, 0, 0), 0xFFFF0000u);
    // The next user's picture is renamed into place, as a fetch does.
    const std::string fetched = sandbox.Root() + "/.pic_head.jpg.tmp";
    std::ofstream(fetched, std::ios::binary) << Saved("png", 4, 4, 0x00FF00FF);
    ASSERT_EQ(std::rename(fetched.c_str(), path.c_str()), 0);
    cairo_surface_t* second = cache.Get(manager, info);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(PixelAt(second, 0, 0), 0xFF00FF00u);
    EXPECT_EQ(cache.Count(), 1u);
}

TEST_F(ImageCacheTest, EachArchiveKeepsItsOwnImagesUntilNoWindowUsesIt) {
    ArchiveWindow skin({{"logo.png", Saved("png", 4, 4, 0xFF0000FF)}});
    ArchiveWindow panel({{"logo.png", Saved("png", 4, 4, 0x00FF00FF)}});
    cairo_surface_t* skinLogo = cache.Get(skin.manager, ParseImageString("logo.png"));
    cairo_surface_t* panelLogo = cache.Get(panel.manager, ParseImageString("LOGO.png"));
    ASSERT_TRUE(skinLogo != nullptr && panelLogo != nullptr);
    EXPECT_EQ(PixelAt(skinLogo, 0, 0), 0xFFFF0000u);
    EXPECT_EQ(PixelAt(panelLogo, 0, 0), 0xFF00FF00u);
    EXPECT_EQ(cache.Count(), 2u);
    cache.ForgetArchivesExcept({skin.manager.GetResourceArchiveId()});
    EXPECT_EQ(cache.Count(), 1u);
    EXPECT_EQ(cache.Get(skin.manager, ParseImageString("logo.png")), skinLogo);
}
