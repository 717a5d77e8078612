// What the windows look like: every built-in layout at 96 and 192 DPI
// compared with its reference image (tests/gui/references; regenerate with
// VANTO_UPDATE_REFERENCES=1, see the README), a contact sheet of them all,
// round corners and shadows where a compositor runs, images from each
// window's own archive and their size bound, the desktop's DPI, hosted native
// views and fades.
#include "GuiFixture.h"
#include "platform/duilib/GtkTestImages.h"
#include "platform/duilib/TestSupport.h"

#include "platform/duilib/UIContainer.h"
#include "platform/duilib/UIDPI.h"
#include "platform/duilib/UIWkeWebkit.h"
#include "platform/duilib/WinUser.h"
#include "platform/duilib/backend/Screen.h"
#include "platform/duilib/backend/gtk/GtkRenderer.h"
#include "platform/os/DebugPrint.h"

#include <cairo.h>
#include <gtk/gtk.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <fstream>

using namespace DuiLib;
using guitest::GuiTest;

namespace {

struct Layout {
    const char* file;
    int width;
    int height;
};
const std::vector<Layout>& Layouts() {
    static const std::vector<Layout> layouts = {
        {"Form_Main.xml", 870, 578}, {"Form_Menu.xml", 132, 104},      {"Form_user_info.xml", 260, 255},
        {"dlg_about.xml", 400, 260}, {"dlg_message.xml", 380, 200},    {"dlg_download.xml", 470, 185},
        {"dlg_reg.xml", 408, 480},   {"dlg_webbrowser.xml", 750, 560},
    };
    return layouts;
}

// Per channel, and the share of pixels that may differ beyond it (text
// edges from another build of the font stack).
constexpr int kTolerance = 24;
constexpr double kDifferentShare = 0.004;

std::string ReferencePath(const std::string& name) {
    return std::string(VANTO_SOURCE_DIR) + "/tests/gui/references/" + name + ".png";
}

bool UpdatingReferences() {
    const char* update = std::getenv("VANTO_UPDATE_REFERENCES");
    return update != nullptr && std::string(update) == "1";
}

// Puts the captures side by side in rows, a gap between them, on grey.
void WriteContactSheet(const std::vector<std::pair<std::string, GtkProbes::Image>>& shots,
                       const std::string& path) {
    constexpr int gap = 24;
    constexpr int label = 22;
    constexpr int maxWidth = 3600;
    int x = gap, y = gap, rowHeight = 0, width = 0;
    std::vector<std::pair<int, int>> at;
    for (const auto& [name, image] : shots) {
        if (x + image.width + gap > maxWidth && x > gap) {
            x = gap;
            y += rowHeight + gap + label;
            rowHeight = 0;
        }
        at.emplace_back(x, y + label);
        x += image.width + gap;
        rowHeight = std::max(rowHeight, image.height);
        width = std::max(width, x);
    }
    const int height = y + rowHeight + gap + label;
    cairo_surface_t* sheet = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    cairo_t* cr = cairo_create(sheet);
    cairo_set_source_rgb(cr, 0.82, 0.84, 0.86);
    cairo_paint(cr);
    for (std::size_t i = 0; i < shots.size(); ++i) {
        const GtkProbes::Image& image = shots[i].second;
        const std::string tmp = path + ".part.png";
        image.WritePng(tmp);
        cairo_surface_t* picture = cairo_image_surface_create_from_png(tmp.c_str());
        std::remove(tmp.c_str());
        cairo_set_source_surface(cr, picture, at[i].first, at[i].second);
        cairo_paint(cr);
        cairo_surface_destroy(picture);
        cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
        cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
        cairo_set_font_size(cr, 14);
        cairo_move_to(cr, at[i].first, at[i].second - 6);
        cairo_show_text(cr, shots[i].first.c_str());
    }
    cairo_destroy(cr);
    cairo_surface_write_to_png(sheet, path.c_str());
    cairo_surface_destroy(sheet);
}

TEST_F(GuiTest, EveryLayoutAt96And192DpiLooksAsItsReference) {
    std::vector<std::pair<std::string, GtkProbes::Image>> shots;
    for (const int dpi : {96, 192}) {
        ui.Run([dpi] { CPaintManagerUI::SetAllDPI(dpi); });
        for (const Layout& layout : Layouts()) {
            const std::string name = std::string(layout.file).substr(0, std::string(layout.file).size() - 4) +
                                     "@" + std::to_string(dpi);
            SCOPED_TRACE(name);
            guitest::LayoutWindow* window = Open(layout.file);
            ASSERT_NE(window, nullptr);
            const HWND hwnd = window->GetHWND();
            ASSERT_TRUE(automation.RunUntilIdle());
            std::optional<GtkProbes::Image> shown = Grab(hwnd);
            ASSERT_TRUE(shown);
            EXPECT_EQ(shown->width, layout.width * dpi / 96);
            EXPECT_EQ(shown->height, layout.height * dpi / 96);
            shown->WritePng(OutputDir() + "/" + name + ".png");
            if (UpdatingReferences()) {
                std::filesystem::create_directories(std::filesystem::path(ReferencePath(name)).parent_path());
                EXPECT_TRUE(shown->WritePng(ReferencePath(name)));
            } else {
                std::optional<GtkProbes::Image> reference = GtkProbes::Image::ReadPng(ReferencePath(name));
                ASSERT_TRUE(reference) << "no reference image " << ReferencePath(name)
                                       << ": look at the capture and run with VANTO_UPDATE_REFERENCES=1";
                const int different = guitest::CountDifferent(*shown, *reference, kTolerance);
                EXPECT_LE(different, static_cast<int>(shown->width * shown->height * kDifferentShare))
                    << "differs from " << ReferencePath(name) << "; the capture is in " << OutputDir();
            }
            shots.emplace_back(name, std::move(*shown));
            ui.Run([&] { DestroyWindow(hwnd); });
        }
    }
    ui.Run([] { CPaintManagerUI::SetAllDPI(96); });
    WriteContactSheet(shots, OutputDir() + "/contact-sheet.png");
    std::cout << "contact sheet: " << OutputDir() << "/contact-sheet.png\n";
}

TEST_F(GuiTest, RoundCornersAndTheShadowAreTransparentWhereACompositorRuns) {
    guitest::LayoutWindow* window = Open("dlg_reg.xml");
    ASSERT_NE(window, nullptr);
    std::optional<GtkProbes::Image> composited = Render(window->GetHWND(), true);
    std::optional<GtkProbes::Image> plain = Render(window->GetHWND(), false);
    ASSERT_TRUE(composited && plain);
    constexpr int margin = 5;  // the layout's shadowsize
    ASSERT_EQ(composited->width, 408 + 2 * margin);
    ASSERT_EQ(plain->width, 408);
    auto alpha = [](std::uint32_t pixel) { return static_cast<int>(pixel >> 24); };
    // Outside the rounded corner (radius 10) nothing is drawn...
    EXPECT_EQ(alpha(composited->At(margin + 1, margin + 1)), 0);
    // ...the shadow darkens the margin in part...
    const int shadow = alpha(composited->At(1 + margin / 2, composited->height / 2));
    EXPECT_GT(shadow, 0);
    EXPECT_LT(shadow, 255);
    // ...and the window's inside is opaque.
    EXPECT_EQ(alpha(composited->At(composited->width / 2, composited->height / 2)), 255);
    // Without a compositor the window is a plain opaque rectangle.
    EXPECT_EQ(alpha(plain->At(0, 0)), 255);
    composited->WritePng(OutputDir() + "/composited-dlg_reg.png");
}

TEST_F(GuiTest, EachWindowPaintsFromTheArchiveItWasBuiltFrom) {
    // A panel archive with its own image under a name the skin uses too.
    const std::string logo = std::string(VANTO_SOURCE_DIR) + "/skin/default/msg/icon_error.png";
    std::ifstream in(logo, std::ios::binary);
    const std::string errorIcon((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(errorIcon.empty());
    const std::string layout =
        R"(<Window size="48,48"><Control bkimage="default/common/logo.png"/></Window>)";
    guitest::LayoutWindow* main = Open(layout);
    ASSERT_NE(main, nullptr);
    // The panel's archive: built by libzip through the library's reader.
    std::string panelZip;
    {
        const std::string dir = sandbox.Root() + "/panel/default/common";
        std::filesystem::create_directories(dir);
        std::ofstream(dir + "/logo.png", std::ios::binary) << errorIcon;
        ASSERT_EQ(std::system(("cd " + sandbox.Root() + "/panel && zip -qr ../panel.zip .").c_str()), 0);
        std::ifstream zip(sandbox.Root() + "/panel.zip", std::ios::binary);
        panelZip.assign((std::istreambuf_iterator<char>(zip)), std::istreambuf_iterator<char>());
    }
    const TResourceZip saved = CPaintManagerUI::GetResourceZip();
    ASSERT_TRUE(CPaintManagerUI::SetResourceZip(panelZip.data(), panelZip.size()));
    guitest::LayoutWindow* panel = Open(layout);
    ASSERT_NE(panel, nullptr);
    // While the panel's archive is in force the main window keeps its logo.
    std::optional<GtkProbes::Image> mainShot = Render(main->GetHWND());
    std::optional<GtkProbes::Image> panelShot = Render(panel->GetHWND());
    ASSERT_TRUE(CPaintManagerUI::SetResourceZip(saved.data, saved.size));
    ASSERT_TRUE(mainShot && panelShot);
    EXPECT_GT(guitest::CountDifferent(*mainShot, *panelShot, kTolerance), 48 * 48 / 4);
    // Back in the skin's archive, both still paint as before.
    std::optional<GtkProbes::Image> panelAgain = Render(panel->GetHWND());
    ASSERT_TRUE(panelAgain);
    EXPECT_EQ(guitest::CountDifferent(*panelShot, *panelAgain, 0), 0);
}

TEST_F(GuiTest, AnArchiveImageBeyondTheSizeBoundIsNeitherAllocatedNorDrawnAndSaysSoOnce) {
    // A few hundred bytes that declare 8192 x 8192 pixels (256 MiB decoded),
    // and an image exactly at the bound.
    const std::string zip = duitest::MakeZip({{"over.png", imagetest::PngDeclaring(8192, 8192)},
                                              {"at.png", imagetest::Saved("png", 4096, 4096, 0x2F80EDFF)}});
    std::vector<std::string> lines;
    os::SetDebugSink([&lines](const std::string& text) {
        if (text.find("not drawn") != std::string::npos)
            lines.push_back(text);
    });
    const TResourceZip saved = CPaintManagerUI::GetResourceZip();
    ASSERT_TRUE(CPaintManagerUI::SetResourceZip(zip.data(), zip.size()));
    if (!imagetest::ResetPeakRss())
        GTEST_SKIP() << "this kernel cannot reset the peak resident size";
    const long before = imagetest::PeakRssKib();
    guitest::LayoutWindow* over =
        Open(R"(<Window size="48,48"><Control bkcolor="#FFFFFFFF" bkimage="over.png"/></Window>)");
    ASSERT_NE(over, nullptr);
    ASSERT_TRUE(automation.RunUntilIdle());
    std::optional<GtkProbes::Image> overShot = Render(over->GetHWND());
    ASSERT_TRUE(Render(over->GetHWND()));
    const long grown = imagetest::PeakRssKib() - before;
    guitest::LayoutWindow* at = Open(R"(<Window size="48,48"><Control bkimage="at.png"/></Window>)");
    ASSERT_TRUE(CPaintManagerUI::SetResourceZip(saved.data, saved.size));
    ASSERT_NE(at, nullptr);
    std::optional<GtkProbes::Image> atShot = Render(at->GetHWND());
    os::SetDebugSink({});
    ASSERT_TRUE(overShot && atShot);
    EXPECT_LT(grown, 64 * 1024) << "KiB: the declared pixels were allocated";
    EXPECT_EQ(overShot->At(24, 24) & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_EQ(atShot->At(24, 24) & 0xFFFFFF, 0x2F80EDu);
    EXPECT_EQ(lines, std::vector<std::string>{
                         "image 'over.png' not drawn: 8192 x 8192 pixels is more than 4096 x 4096"});
}

namespace {

// Where the pixels of one colour (0xRRGGBB) lie inside `area`: their
// bounding box and their number.
struct Found {
    RECT box{LONG_MAX, LONG_MAX, LONG_MIN, LONG_MIN};
    int count = 0;
};
Found FindColour(const GtkProbes::Image& image, const RECT& area, std::uint32_t rgb) {
    Found found;
    for (long y = area.top; y < area.bottom; ++y) {
        for (long x = area.left; x < area.right; ++x) {
            if (guitest::PixelsDiffer(image.At(static_cast<int>(x), static_cast<int>(y)) | 0xFF000000u,
                                      rgb | 0xFF000000u, 8))
                continue;
            found.box = RECT{std::min(found.box.left, x), std::min(found.box.top, y),
                             std::max(found.box.right, x + 1), std::max(found.box.bottom, y + 1)};
            ++found.count;
        }
    }
    return found;
}

}  // namespace

TEST_F(GuiTest, ALabelsMarkupImagesAreDrawnInPlaceAtTheWindowsScaleOrKeepBlankRoom) {
    const std::string disk = sandbox.Root() + "/green.png";
    std::ofstream(disk, std::ios::binary) << imagetest::Saved("png", 8, 8, 0x00FF00FF);
    const std::string zip = duitest::MakeZip({{"tall.png", imagetest::Saved("png", 10, 20, 0x0000FFFF)},
                                              {"arrow.png", imagetest::Saved("png", 10, 6, 0xFF0000FF)},
                                              {"over.png", imagetest::PngDeclaring(8192, 8192)},
                                              {"anim.gif", imagetest::GifDeclaring(4, 4)}});
    // Rows of 40 pixels: two images on one line; three that cannot be drawn
    // before one that can; one from disk.
    const std::string layout = R"(<Window size="120,120"><VerticalLayout bkcolor="#FFFFFFFF">
        <Label height="40" showhtml="true" text="{i tall.png}{i arrow.png}"/>
        <Label height="40" showhtml="true" text="{i missing.png}{i over.png}{i anim.gif}{i arrow.png}"/>
        <Label height="40" showhtml="true" text="{i file=')" +
                               disk + R"(' restype='fullpath'}"/>
        </VerticalLayout></Window>)";
    const TResourceZip saved = CPaintManagerUI::GetResourceZip();
    ASSERT_TRUE(CPaintManagerUI::SetResourceZip(zip.data(), zip.size()));
    for (const long s : {1L, 2L}) {
        SCOPED_TRACE("scale " + std::to_string(s));
        ui.Run([s] { CPaintManagerUI::SetAllDPI(static_cast<int>(96 * s)); });
        guitest::LayoutWindow* window = Open(layout);
        ASSERT_NE(window, nullptr);
        ASSERT_TRUE(automation.RunUntilIdle());
        std::optional<GtkProbes::Image> shown = Grab(window->GetHWND());
        ASSERT_TRUE(shown);
        ASSERT_EQ(shown->width, 120 * s);
        shown->WritePng(OutputDir() + "/markup-images@" + std::to_string(96 * s) + ".png");
        auto row = [s](long i) { return RECT{0, 40 * s * i, 120 * s, 40 * s * (i + 1)}; };
        // Each at its own size grown with the scale; the taller one makes
        // the line and sits in the middle of the label, the other follows
        // it (the line gives it its width), centred on the same line.
        const Found tall = FindColour(*shown, row(0), 0x0000FF);
        EXPECT_EQ(tall.box, (RECT{0, 10 * s, 10 * s, 30 * s}));
        EXPECT_EQ(tall.count, 200 * s * s);
        const Found arrow = FindColour(*shown, row(0), 0xFF0000);
        EXPECT_EQ(arrow.count, 60 * s * s);
        EXPECT_EQ(arrow.box.left, 10 * s);
        EXPECT_EQ(arrow.box.Width(), 10 * s);
        EXPECT_EQ(arrow.box.Height(), 6 * s);
        EXPECT_NEAR((arrow.box.top + arrow.box.bottom) / 2.0, 20.0 * s, 1.0);
        // Missing, over the size bound, not a format taken: blank room as
        // wide as the font (12 pixels) is high, each.
        const Found after = FindColour(*shown, row(1), 0xFF0000);
        EXPECT_EQ(after.count, 60 * s * s);
        EXPECT_EQ(after.box.left, 36 * s);
        // From disk.
        const Found green = FindColour(*shown, row(2), 0x00FF00);
        EXPECT_EQ(green.count, 64 * s * s);
        EXPECT_EQ(green.box.left, 0);
        ui.Run([&] { DestroyWindow(window->GetHWND()); });
    }
    ui.Run([] { CPaintManagerUI::SetAllDPI(96); });
    ASSERT_TRUE(CPaintManagerUI::SetResourceZip(saved.data, saved.size));
}

TEST_F(GuiTest, TheDesktopsDpiIsTheLogicalOneAndATwiceDesktopScalesByTwo) {
    ScreenInfo before = GetMainScreen();
    int dpi = 0;
    ui.Run([&] {
        // A back end on the desktop's own screen record.
        GtkBackend desktop(GtkBackend::Options{.screen = std::nullopt});
        g_object_set(gtk_settings_get_default(), "gtk-xft-dpi", 192 * 1024, nullptr);
        GtkProbes(desktop).RefreshScreen();
        dpi = CDPI::GetMainMonitorDPI();
        EXPECT_EQ(GetMainScreen().monitor, (RECT{0, 0, 2560, 1600}));
        g_object_set(gtk_settings_get_default(), "gtk-xft-dpi", -1, nullptr);  // the desktop's default
        GtkProbes(desktop).RefreshScreen();
        EXPECT_EQ(CDPI::GetMainMonitorDPI(), 96);
    });
    SetMainScreen(before);
    EXPECT_EQ(dpi, 192);
    // What the client does with it: every window at 200 %.
    ui.Run([&] { CPaintManagerUI::SetAllDPI(dpi); });
    guitest::LayoutWindow* window = Open("dlg_about.xml");
    ASSERT_NE(window, nullptr);
    ui.Run([&] {
        RECT rc;
        GetWindowRect(window->GetHWND(), &rc);
        EXPECT_EQ(rc.Width(), 800);
        EXPECT_EQ(window->m_pm.GetDPIObj().GetScale(), 200);
        CPaintManagerUI::SetAllDPI(96);
    });
}

namespace {
using guitest::WidgetPeer;

void NoteDestroyed(GtkWidget*, gpointer flag) {
    *static_cast<bool*>(flag) = true;
}
}  // namespace

TEST_F(GuiTest, ANativeViewSitsAtItsControlFollowsItsVisibilityAndOutlivesItsWindow) {
    guitest::LayoutWindow* window = Open("dlg_webbrowser.xml");
    ASSERT_NE(window, nullptr);
    const HWND hwnd = window->GetHWND();
    GtkWidget* view = nullptr;
    bool destroyed = false;
    ui.Run([&] {
        auto* web = window->m_pm.FindControl<CWkeWebkitUI>("ie");
        ASSERT_NE(web, nullptr);
        // Owned by the test as the engine owns its views.
        view = GTK_WIDGET(g_object_ref_sink(gtk_label_new("engine")));
        g_signal_connect(view, "destroy", G_CALLBACK(NoteDestroyed), &destroyed);
        web->SetViewPeer(std::make_unique<WidgetPeer>(view));
        // Laid out with the window's next frame (on Wayland not before the
        // compositor's frame callback).
        GtkAllocation allocation;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        for (;;) {
            Gtk()->Pump();
            gtk_widget_get_allocation(view, &allocation);
            if (allocation.width > 1 || std::chrono::steady_clock::now() >= end)
                break;
            g_usleep(2000);
        }
        const RECT rc = web->GetPos();
        EXPECT_EQ(gtk_widget_get_toplevel(view), GTK_WIDGET(Gtk()->NativeWindow(hwnd)));
        EXPECT_TRUE(gtk_widget_get_visible(view));
        // Inside the shadow's room, where a compositor draws one.
        const int margin = Gtk()->ShadowMargin(hwnd);
        EXPECT_EQ(allocation.x, rc.left + margin);
        EXPECT_EQ(allocation.y, rc.top + margin);
        EXPECT_EQ(allocation.width, rc.Width());
        EXPECT_EQ(allocation.height, rc.Height());
        // The error page replaces the view: it hides with its control.
        window->m_pm.FindControl<CTabLayoutUI>("step")->SelectItem(1);
        EXPECT_FALSE(gtk_widget_get_visible(view));
        window->m_pm.FindControl<CTabLayoutUI>("step")->SelectItem(0);
        EXPECT_TRUE(gtk_widget_get_visible(view));
        // A detached view leaves the window and may be placed again.
        web->SetViewPeer(nullptr);
        EXPECT_EQ(gtk_widget_get_parent(view), nullptr);
        web->SetViewPeer(std::make_unique<WidgetPeer>(view));
        EXPECT_NE(gtk_widget_get_parent(view), nullptr);
        DestroyWindow(hwnd);
        // The window lets go of it but never destroys what the engine owns.
        EXPECT_EQ(gtk_widget_get_parent(view), nullptr);
        EXPECT_FALSE(destroyed);
        g_signal_handlers_disconnect_by_data(view, &destroyed);
        gtk_widget_destroy(view);
        g_object_unref(view);
    });
}

TEST_F(GuiTest, AFadeInRaisesTheOpacityOverItsTimeWhileTheWindowIsShownAtOnce) {
    guitest::LayoutWindow* window = Open("dlg_about.xml", false);
    ASSERT_NE(window, nullptr);
    const HWND hwnd = window->GetHWND();
    double start = -1;
    ui.Run([&] {
        window->FadeInOut(300, AW_ACTIVATE | AW_BLEND);
        EXPECT_TRUE(IsWindowVisible(hwnd));
        start = Gtk()->WindowOpacity(hwnd);
    });
    EXPECT_LT(start, 0.5);
    EXPECT_TRUE(vtest::WaitFor([&] {
        double now = 0;
        ui.Run([&] { now = Gtk()->WindowOpacity(hwnd); });
        return now >= 1.0;
    }));
    ui.Run([&] {
        window->FadeInOut(200, AW_HIDE | AW_BLEND);
        EXPECT_FALSE(IsWindowVisible(hwnd));
        EXPECT_TRUE(gtk_widget_get_visible(GTK_WIDGET(Gtk()->NativeWindow(hwnd))));  // still fading out
    });
    EXPECT_TRUE(vtest::WaitFor([&] {
        bool visible = true;
        ui.Run([&] { visible = gtk_widget_get_visible(GTK_WIDGET(Gtk()->NativeWindow(hwnd))); });
        return !visible;
    }));
}

}  // namespace
