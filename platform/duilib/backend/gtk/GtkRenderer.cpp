#include "platform/duilib/backend/gtk/GtkRenderer.h"

#include "platform/duilib/UIButton.h"
#include "platform/duilib/UIContainer.h"
#include "platform/duilib/UIDPI.h"
#include "platform/duilib/UIEdit.h"
#include "platform/duilib/UILabel.h"
#include "platform/duilib/UIList.h"
#include "platform/duilib/UIManager.h"
#include "platform/duilib/UIOption.h"
#include "platform/duilib/UIPicture.h"
#include "platform/duilib/UIProgress.h"
#include "platform/duilib/UIRender.h"
#include "platform/os/FileIo.h"
#include "platform/os/Text.h"

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gdk/gdk.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

namespace DuiLib {
namespace {

constexpr std::uint64_t kFullPathArchive = 0;  // images named by a path on disk
constexpr std::size_t kMaxImageBytes = 16u * 1024u * 1024u;

void SetColor(cairo_t* cr, DWORD argb, double extraAlpha = 1.0) {
    cairo_set_source_rgba(cr, ((argb >> 16) & 0xFF) / 255.0, ((argb >> 8) & 0xFF) / 255.0,
                          (argb & 0xFF) / 255.0, ((argb >> 24) & 0xFF) / 255.0 * extraAlpha);
}

bool Intersects(const RECT& a, const RECT& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

std::optional<DWORD> ColorAttribute(CControlUI* control, std::string_view name) {
    if (!control->HasAttribute(name))
        return std::nullopt;
    return ParseColor(control->GetAttribute(name));
}

// A decoded image as a cairo surface (premultiplied ARGB); `mask` makes the
// pixels of that colour transparent, as the original's colour key did.
cairo_surface_t* SurfaceFromBytes(const std::string& bytes, DWORD mask) {
    GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
    GError* error = nullptr;
    const bool written = gdk_pixbuf_loader_write(loader, reinterpret_cast<const guchar*>(bytes.data()),
                                                 bytes.size(), &error) != FALSE;
    g_clear_error(&error);
    const bool closed = gdk_pixbuf_loader_close(loader, &error) != FALSE;
    g_clear_error(&error);
    GdkPixbuf* pixbuf = written && closed ? gdk_pixbuf_loader_get_pixbuf(loader) : nullptr;
    if (pixbuf == nullptr) {
        g_object_unref(loader);
        return nullptr;
    }
    const int width = gdk_pixbuf_get_width(pixbuf);
    const int height = gdk_pixbuf_get_height(pixbuf);
    const int channels = gdk_pixbuf_get_n_channels(pixbuf);
    const int stride = gdk_pixbuf_get_rowstride(pixbuf);
    const guchar* pixels = gdk_pixbuf_read_pixels(pixbuf);
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS || channels < 3) {
        cairo_surface_destroy(surface);
        g_object_unref(loader);
        return nullptr;
    }
    cairo_surface_flush(surface);
    unsigned char* out = cairo_image_surface_get_data(surface);
    const int outStride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < height; ++y) {
        const guchar* in = pixels + static_cast<std::ptrdiff_t>(y) * stride;
        auto* row = reinterpret_cast<std::uint32_t*>(out + static_cast<std::ptrdiff_t>(y) * outStride);
        for (int x = 0; x < width; ++x) {
            const std::uint32_t r = in[0], g = in[1], b = in[2];
            std::uint32_t a = channels == 4 ? in[3] : 255;
            if (mask != 0 && ((r << 16) | (g << 8) | b) == (mask & 0xFFFFFF))
                a = 0;
            row[x] = (a << 24) | ((r * a / 255) << 16) | ((g * a / 255) << 8) | (b * a / 255);
            in += channels;
        }
    }
    cairo_surface_mark_dirty(surface);
    g_object_unref(loader);
    return surface;
}

// A part of `image` (source rectangle `src`) drawn into `dst`, stretched,
// or repeated along the tiled axes.
void DrawPart(cairo_t* cr, cairo_surface_t* image, const RECT& src, const RECT& dst, double alpha,
              bool xTiled, bool yTiled) {
    if (src.Width() <= 0 || src.Height() <= 0 || dst.Width() <= 0 || dst.Height() <= 0)
        return;
    cairo_save(cr);
    cairo_rectangle(cr, dst.left, dst.top, dst.Width(), dst.Height());
    cairo_clip(cr);
    cairo_surface_t* part =
        cairo_surface_create_for_rectangle(image, src.left, src.top, src.Width(), src.Height());
    cairo_pattern_t* pattern = cairo_pattern_create_for_surface(part);
    cairo_matrix_t matrix;
    const double sx = xTiled ? 1.0 : static_cast<double>(src.Width()) / dst.Width();
    const double sy = yTiled ? 1.0 : static_cast<double>(src.Height()) / dst.Height();
    cairo_matrix_init_scale(&matrix, sx, sy);
    cairo_matrix_translate(&matrix, -dst.left, -dst.top);
    cairo_pattern_set_matrix(pattern, &matrix);
    cairo_pattern_set_extend(pattern, xTiled || yTiled ? CAIRO_EXTEND_REPEAT : CAIRO_EXTEND_PAD);
    // Stretched skin images keep their crisp edges as GDI's did; scaled
    // ones (high DPI) are smoothed.
    cairo_pattern_set_filter(pattern, (sx == 1.0 && sy == 1.0) ? CAIRO_FILTER_NEAREST : CAIRO_FILTER_GOOD);
    cairo_set_source(cr, pattern);
    if (alpha >= 1.0)
        cairo_paint(cr);
    else
        cairo_paint_with_alpha(cr, alpha);
    cairo_pattern_destroy(pattern);
    cairo_surface_destroy(part);
    cairo_restore(cr);
}

struct TextStyle {
    int font = -1;
    DWORD color = 0xFF000000;
    UINT align = DT_LEFT | DT_VCENTER | DT_SINGLELINE;
    RECT padding;
    bool ellipsis = false;
    bool html = false;
};

UINT AlignFromAttributes(CControlUI* control, UINT style) {
    const std::string align = control->GetAttribute("align");
    if (!align.empty()) {
        style &= ~(DT_CENTER | DT_RIGHT);
        if (align.find("center") != std::string::npos)
            style |= DT_CENTER;
        else if (align.find("right") != std::string::npos)
            style |= DT_RIGHT;
    }
    return style;
}

std::string PlainForLayout(std::string_view text) {
    return std::string(text);
}

}  // namespace

// ---- fonts and measuring ----------------------------------------------------------------

PangoFontDescription* NewFontDescription(const TFontInfo& font) {
    PangoFontDescription* desc = pango_font_description_new();
    pango_font_description_set_family(desc, font.name.empty() ? "Noto Sans CJK SC" : font.name.c_str());
    // The layout's sizes are character heights in pixels, as GDI fonts take them.
    pango_font_description_set_absolute_size(desc, (font.size > 0 ? font.size : 12) * PANGO_SCALE);
    pango_font_description_set_weight(desc, font.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_font_description_set_style(desc, font.italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
    return desc;
}

void ApplyFontOptions(PangoContext* context) {
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    pango_cairo_context_set_font_options(context, options);
    cairo_font_options_destroy(options);
    pango_cairo_context_set_resolution(context, 96.0);
}

SIZE GtkRenderer::MeasureText(const TFontInfo& font, std::string_view text) {
    // One context per thread: Pango's font map is per thread, and layout
    // passes may measure from any thread.
    struct ThreadContext {
        ThreadContext() {
            context = pango_font_map_create_context(pango_cairo_font_map_get_default());
            ApplyFontOptions(context);
        }
        ~ThreadContext() { g_object_unref(context); }
        PangoContext* context;
    };
    thread_local ThreadContext local;
    PangoLayout* layout = pango_layout_new(local.context);
    PangoFontDescription* desc = NewFontDescription(font);
    pango_layout_set_font_description(layout, desc);
    pango_layout_set_text(layout, text.data(), static_cast<int>(text.size()));
    int width = 0;
    int height = 0;
    pango_layout_get_pixel_size(layout, &width, &height);
    pango_font_description_free(desc);
    g_object_unref(layout);
    return SIZE{width, height};
}

// ---- the paint pass ------------------------------------------------------------------

struct GtkRenderer::PaintContext {
    cairo_t* cr = nullptr;
    CPaintManagerUI* manager = nullptr;
    RECT clip;
    const Options* options = nullptr;
    CControlUI* hover = nullptr;
    CControlUI* pushed = nullptr;
    CControlUI* focus = nullptr;
    std::uint64_t archive = 0;

    long Scaled(long value) const { return manager->GetDPIObj().Scale(static_cast<int>(value)); }
    RECT Scaled(const RECT& rc) const { return manager->GetDPIObj().Scale(rc); }
    TFontInfo Font(int id) const {
        TFontInfo font = manager->GetFont(id);
        font.size = static_cast<int>(Scaled(font.size > 0 ? font.size : 12));
        return font;
    }
};

GtkRenderer::GtkRenderer() = default;

GtkRenderer::~GtkRenderer() {
    for (auto& [key, surface] : m_images) {
        if (surface != nullptr)
            cairo_surface_destroy(surface);
    }
}

void GtkRenderer::ForgetArchivesExcept(const std::set<std::uint64_t>& live) {
    for (auto it = m_images.begin(); it != m_images.end();) {
        if (it->first.first != kFullPathArchive && !live.contains(it->first.first)) {
            if (it->second != nullptr)
                cairo_surface_destroy(it->second);
            it = m_images.erase(it);
        } else {
            ++it;
        }
    }
}

cairo_surface_t* GtkRenderer::LoadImage(PaintContext& pc, const TImageInfo& info) {
    const bool fullPath = info.resType == "fullpath";
    const std::uint64_t archive = fullPath ? kFullPathArchive : pc.archive;
    std::string key = fullPath ? info.file : NormalizeResourceName(info.file);
    key += "#" + std::to_string(info.mask);
    const auto cacheKey = std::make_pair(archive, key);
    if (auto it = m_images.find(cacheKey); it != m_images.end() && (!fullPath || it->second != nullptr))
        return it->second;
    std::optional<std::string> bytes =
        fullPath ? os::ReadWholeFile(info.file, kMaxImageBytes) : pc.manager->LoadWindowResource(info.file);
    cairo_surface_t* surface = bytes ? SurfaceFromBytes(*bytes, info.mask) : nullptr;
    // A picture on disk (the user's head picture) may arrive later: only
    // decoded ones are kept for it.
    if (surface != nullptr || !fullPath)
        m_images[cacheKey] = surface;
    return surface;
}

bool GtkRenderer::DrawImage(PaintContext& pc, const RECT& rc, std::string_view text) {
    if (text.empty())
        return false;
    const TImageInfo info = ParseImageString(text);
    if (info.file.empty())
        return false;
    cairo_surface_t* image = LoadImage(pc, info);
    if (image == nullptr)
        return false;
    const long imageWidth = cairo_image_surface_get_width(image);
    const long imageHeight = cairo_image_surface_get_height(image);
    RECT src = info.hasSource ? info.source : RECT{0, 0, imageWidth, imageHeight};
    src.right = std::min(src.right, imageWidth);
    src.bottom = std::min(src.bottom, imageHeight);
    if (src.Width() <= 0 || src.Height() <= 0)
        return false;
    RECT dst = rc;
    if (info.hasDest) {
        const RECT d = pc.Scaled(info.dest);
        dst = RECT{rc.left + d.left, rc.top + d.top, rc.left + d.right, rc.top + d.bottom};
        dst.right = std::min(dst.right, rc.right);
        dst.bottom = std::min(dst.bottom, rc.bottom);
    }
    const double alpha = info.fade / 255.0;
    const RECT c = info.corner;
    if (c.left == 0 && c.top == 0 && c.right == 0 && c.bottom == 0) {
        DrawPart(pc.cr, image, src, dst, alpha, info.xTiled, info.yTiled);
        return true;
    }
    // Nine slices: the corners keep their size (grown with the scale), the
    // edges stretch along, the middle both ways (or stays empty: hole).
    const RECT dc = pc.Scaled(c);
    const long sx[4] = {src.left, src.left + c.left, src.right - c.right, src.right};
    const long sy[4] = {src.top, src.top + c.top, src.bottom - c.bottom, src.bottom};
    const long dx[4] = {dst.left, dst.left + dc.left, dst.right - dc.right, dst.right};
    const long dy[4] = {dst.top, dst.top + dc.top, dst.bottom - dc.bottom, dst.bottom};
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) {
            if (info.hole && row == 1 && col == 1)
                continue;
            DrawPart(pc.cr, image, RECT{sx[col], sy[row], sx[col + 1], sy[row + 1]},
                     RECT{dx[col], dy[row], dx[col + 1], dy[row + 1]}, alpha, info.xTiled, info.yTiled);
        }
    }
    return true;
}

void GtkRenderer::Paint(cairo_t* cr, CPaintManagerUI& manager, const RECT& clip, const Options& options) {
    PaintContext pc;
    pc.cr = cr;
    pc.manager = &manager;
    pc.clip = clip;
    pc.options = &options;
    pc.hover = manager.GetHover();
    pc.pushed = manager.GetPushed();
    pc.focus = manager.GetFocus();
    pc.archive = manager.GetResourceArchiveId();
    CControlUI* root = manager.GetRoot();
    const RECT window = manager.GetClientRect();
    cairo_save(cr);
    if (options.composited) {
        // Transparent around the window; the shadow lies in its margin.
        cairo_save(cr);
        cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
        cairo_paint(cr);
        cairo_restore(cr);
        if (options.shadowMargin > 0)
            PaintShadow(pc, window);
        const SIZE corner = manager.GetRoundCorner();
        if (corner.cx > 0 && corner.cy > 0) {
            // The window's own shape: a rectangle with rounded corners.
            const double rx = pc.Scaled(corner.cx) / 2.0;
            const double ry = pc.Scaled(corner.cy) / 2.0;
            const double w = window.Width();
            const double h = window.Height();
            cairo_new_path(cr);
            cairo_save(cr);
            cairo_translate(cr, window.left, window.top);
            cairo_scale(cr, 1.0, ry / rx);
            const double hs = h * rx / ry;
            cairo_arc(cr, w - rx, rx, rx, -M_PI / 2, 0);
            cairo_arc(cr, w - rx, hs - rx, rx, 0, M_PI / 2);
            cairo_arc(cr, rx, hs - rx, rx, M_PI / 2, M_PI);
            cairo_arc(cr, rx, rx, rx, M_PI, 3 * M_PI / 2);
            cairo_close_path(cr);
            cairo_restore(cr);
            cairo_clip(cr);
        }
    } else {
        // An opaque window: whatever the skin leaves uncovered is white.
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_rectangle(cr, clip.left, clip.top, clip.Width(), clip.Height());
        cairo_fill(cr);
    }
    cairo_rectangle(cr, clip.left, clip.top, clip.Width(), clip.Height());
    cairo_clip(cr);
    if (root != nullptr)
        PaintControl(pc, root);
    cairo_restore(cr);
}

void GtkRenderer::PaintShadow(PaintContext& pc, const RECT& window) {
    const int margin = pc.options->shadowMargin;
    const RECT outer{window.left - margin, window.top - margin, window.right + margin,
                     window.bottom + margin};
    const std::string image = pc.manager->GetShadowImage();
    if (!image.empty() && DrawImage(pc, outer, image))
        return;
    // Without an image: rings of falling opacity around the rectangle.
    for (int i = 0; i < margin; ++i) {
        const double alpha =
            0.16 * (1.0 - static_cast<double>(i) / margin) * (1.0 - static_cast<double>(i) / margin);
        cairo_set_source_rgba(pc.cr, 0, 0, 0, alpha);
        cairo_set_line_width(pc.cr, 1.0);
        cairo_rectangle(pc.cr, window.left - i - 0.5, window.top - i - 0.5, window.Width() + 2 * i + 1,
                        window.Height() + 2 * i + 1);
        cairo_stroke(pc.cr);
    }
}

void GtkRenderer::PaintControl(PaintContext& pc, CControlUI* control) {
    if (!control->IsOwnVisible())
        return;
    const RECT rc = control->GetPos();
    if (rc.Width() <= 0 || rc.Height() <= 0 || !Intersects(rc, pc.clip))
        return;
    cairo_save(pc.cr);
    // A control never paints outside its rectangle, nor its children.
    cairo_rectangle(pc.cr, rc.left, rc.top, rc.Width(), rc.Height());
    cairo_clip(pc.cr);
    PaintBackground(pc, control);
    PaintStateImages(pc, control);
    if (control->GetInterface("Progress") != nullptr)
        PaintProgress(pc, control);
    if (control->GetInterface("Edit") != nullptr)
        PaintEdit(pc, control);
    else
        PaintText(pc, control);
    if (auto* container = ControlCast<CContainerUI>(control)) {
        for (int i = 0; i < container->GetCount(); ++i)
            PaintControl(pc, container->GetItemAt(i));
    }
    PaintBorder(pc, control);
    cairo_restore(pc.cr);
}

void GtkRenderer::PaintBackground(PaintContext& pc, CControlUI* control) {
    const RECT rc = control->GetPos();
    DWORD color = control->GetBkColor();
    // The state colours the layouts give options and list items.
    const bool enabled = control->IsEnabled();
    const auto* option = ControlCast<COptionUI>(control);
    auto* item = static_cast<IListItemUI*>(control->GetInterface("ListItem"));
    const bool selected =
        (option != nullptr && option->IsSelected()) || (item != nullptr && item->IsSelected());
    const bool hot = enabled && (control == pc.hover);
    if (selected) {
        if (auto c = ColorAttribute(control, "selectedbkcolor"))
            color = *c;
    } else if (hot) {
        if (auto c = ColorAttribute(control, "hotbkcolor"))
            color = *c;
    }
    if (!enabled) {
        if (auto c = ColorAttribute(control, "disabledbkcolor"))
            color = *c;
    }
    if ((color & 0xFF000000) != 0) {
        SetColor(pc.cr, color);
        cairo_rectangle(pc.cr, rc.left, rc.top, rc.Width(), rc.Height());
        cairo_fill(pc.cr);
    }
    DrawImage(pc, rc, control->GetBkImage());
    if (auto* picture = ControlCast<CPictureUI>(control))
        DrawImage(pc, rc, picture->GetBitmap());
}

void GtkRenderer::PaintStateImages(PaintContext& pc, CControlUI* control) {
    const RECT rc = control->GetPos();
    auto attribute = [control](std::string_view name) { return control->GetAttribute(name); };
    const bool enabled = control->IsEnabled();
    if (auto* button = ControlCast<CButtonUI>(control)) {
        auto* option = ControlCast<COptionUI>(control);
        const bool hot = enabled && (button->IsHot() || control == pc.hover);
        const bool pushed = enabled && button->IsPushed() && control == pc.pushed;
        std::string image;
        if (!enabled && !button->GetDisabledImage().empty()) {
            image = button->GetDisabledImage();
        } else if (option != nullptr && option->IsSelected() && !option->GetSelectedImage().empty()) {
            image = hot && !option->GetSelectedHotImage().empty() ? option->GetSelectedHotImage()
                                                                  : option->GetSelectedImage();
        } else if (pushed && !button->GetPushedImage().empty()) {
            image = button->GetPushedImage();
        } else if (hot && !button->GetHotImage().empty()) {
            image = button->GetHotImage();
        } else if (control == pc.focus && !button->GetFocusedImage().empty()) {
            image = button->GetFocusedImage();
        } else {
            image = button->GetNormalImage();
        }
        DrawImage(pc, rc, image);
        return;
    }
    if (control->GetInterface("Edit") != nullptr) {
        std::string image;
        if (!enabled)
            image = attribute("disabledimage");
        else if (control == pc.focus)
            image = attribute("focusedimage");
        else if (control == pc.hover)
            image = attribute("hotimage");
        if (image.empty())
            image = attribute("normalimage");
        DrawImage(pc, rc, image);
    }
}

namespace {
TextStyle StyleOf(CControlUI* control, bool hot, bool pushed) {
    TextStyle style;
    if (auto* label = ControlCast<CLabelUI>(control)) {
        style.font = label->GetFont();
        style.color = label->GetTextColor();
        style.align = label->GetTextStyle();
        style.padding = label->GetTextPadding();
        style.html = label->IsShowHtml();
        if (!control->IsEnabled() && label->GetDisabledTextColor() != 0)
            style.color = label->GetDisabledTextColor();
        if (auto* button = ControlCast<CButtonUI>(control); button != nullptr && control->IsEnabled()) {
            auto* option = ControlCast<COptionUI>(control);
            if (option != nullptr && option->IsSelected() && option->GetSelectedTextColor() != 0)
                style.color = option->GetSelectedTextColor();
            else if (pushed && button->GetPushedTextColor() != 0)
                style.color = button->GetPushedTextColor();
            else if (hot && button->GetHotTextColor() != 0)
                style.color = button->GetHotTextColor();
        }
    } else {
        // Containers that carry a text (menu entries) style it with the
        // same attributes a label takes.
        style.font = ParseInt(control->GetAttribute("font")).value_or(-1);
        style.color = ParseColor(control->GetAttribute("textcolor")).value_or(0xFF000000);
        style.align = AlignFromAttributes(control, style.align);
        style.padding = ParseRect(control->GetAttribute("textpadding")).value_or(RECT{});
        style.html = ParseBool(control->GetAttribute("showhtml")).value_or(false);
    }
    if ((style.color & 0xFF000000) == 0)
        style.color |= 0xFF000000;  // a colour written without alpha is opaque
    style.ellipsis = ParseBool(control->GetAttribute("endellipsis")).value_or(false);
    return style;
}

// Places a laid-out text in `area` by the alignment flags.
void PlaceLayout(cairo_t* cr, PangoLayout* layout, const RECT& area, UINT align) {
    int width = 0;
    int height = 0;
    pango_layout_get_pixel_size(layout, &width, &height);
    double x = area.left;
    if ((align & DT_CENTER) != 0)
        x = area.left + (area.Width() - width) / 2.0;
    else if ((align & DT_RIGHT) != 0)
        x = area.right - width;
    double y = area.top;
    if ((align & DT_VCENTER) != 0)
        y = area.top + (area.Height() - height) / 2.0;
    else if ((align & DT_BOTTOM) != 0)
        y = area.bottom - height;
    cairo_move_to(cr, std::round(x), std::round(y));
}

// `outer` less the padding on each side.
RECT Inside(RECT outer, const RECT& padding) {
    outer.left += padding.left;
    outer.top += padding.top;
    outer.right -= padding.right;
    outer.bottom -= padding.bottom;
    return outer;
}
}  // namespace

void GtkRenderer::PaintText(PaintContext& pc, CControlUI* control) {
    const std::string& text = control->GetText();
    if (text.empty())
        return;
    const bool hot = control == pc.hover;
    const bool pushed = control == pc.pushed;
    const TextStyle style = StyleOf(control, hot, pushed);
    const RECT area = Inside(control->GetPos(), pc.Scaled(style.padding));
    if (area.Width() <= 0 || area.Height() <= 0)
        return;
    PangoLayout* layout = pango_cairo_create_layout(pc.cr);
    ApplyFontOptions(pango_layout_get_context(layout));
    pango_layout_context_changed(layout);
    const TFontInfo font = pc.Font(style.font);
    PangoFontDescription* desc = NewFontDescription(font);
    pango_layout_set_font_description(layout, desc);
    const bool singleLine = (style.align & DT_SINGLELINE) != 0;
    pango_layout_set_width(layout, area.Width() * PANGO_SCALE);
    pango_layout_set_alignment(layout, (style.align & DT_CENTER) != 0  ? PANGO_ALIGN_CENTER
                                       : (style.align & DT_RIGHT) != 0 ? PANGO_ALIGN_RIGHT
                                                                       : PANGO_ALIGN_LEFT);
    if (singleLine) {
        pango_layout_set_ellipsize(layout, style.ellipsis ? PANGO_ELLIPSIZE_END : PANGO_ELLIPSIZE_NONE);
        if (!style.ellipsis)
            pango_layout_set_width(layout, -1);
    } else {
        pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
        if (style.ellipsis) {
            pango_layout_set_height(layout, area.Height() * PANGO_SCALE);
            pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
        }
    }
    // The markup becomes Pango attributes over the plain text: fonts,
    // bold, colours; {x N} spaces and {i ...} images keep their place as
    // blank room of their width.
    PangoAttrList* attrs = pango_attr_list_new();
    if (font.underline)
        pango_attr_list_insert(attrs, pango_attr_underline_new(PANGO_UNDERLINE_SINGLE));
    std::string plain;
    if (style.html) {
        for (const TMarkupRun& run : ParseMarkup(text)) {
            const auto start = static_cast<guint>(plain.size());
            switch (run.kind) {
                case TMarkupRun::Kind::Text:
                    plain += run.text;
                    break;
                case TMarkupRun::Kind::NewLine:
                    plain += '\n';
                    break;
                case TMarkupRun::Kind::Space:
                case TMarkupRun::Kind::Image: {
                    // U+2002 EN SPACE, sized by a shape attribute.
                    plain += "\xE2\x80\x82";
                    const int width = run.kind == TMarkupRun::Kind::Space
                                          ? static_cast<int>(pc.Scaled(run.space))
                                          : font.size;
                    PangoRectangle ink{0, 0, width * PANGO_SCALE, font.size * PANGO_SCALE};
                    PangoRectangle logical{0, -font.size * PANGO_SCALE, width * PANGO_SCALE,
                                           font.size * PANGO_SCALE};
                    PangoAttribute* shape = pango_attr_shape_new(&ink, &logical);
                    shape->start_index = start;
                    shape->end_index = static_cast<guint>(plain.size());
                    pango_attr_list_insert(attrs, shape);
                    break;
                }
            }
            const auto end = static_cast<guint>(plain.size());
            if (run.kind != TMarkupRun::Kind::Text || start == end)
                continue;
            if (run.font >= 0) {
                PangoFontDescription* runDesc = NewFontDescription(pc.Font(run.font));
                PangoAttribute* attr = pango_attr_font_desc_new(runDesc);
                attr->start_index = start;
                attr->end_index = end;
                pango_attr_list_insert(attrs, attr);
                pango_font_description_free(runDesc);
            }
            if (run.bold) {
                PangoAttribute* attr = pango_attr_weight_new(PANGO_WEIGHT_BOLD);
                attr->start_index = start;
                attr->end_index = end;
                pango_attr_list_insert(attrs, attr);
            }
            if (run.color) {
                const DWORD c = *run.color;
                PangoAttribute* attr = pango_attr_foreground_new(
                    static_cast<guint16>(((c >> 16) & 0xFF) * 257),
                    static_cast<guint16>(((c >> 8) & 0xFF) * 257), static_cast<guint16>((c & 0xFF) * 257));
                attr->start_index = start;
                attr->end_index = end;
                pango_attr_list_insert(attrs, attr);
            }
        }
    } else {
        plain = PlainForLayout(text);
    }
    pango_layout_set_text(layout, plain.c_str(), static_cast<int>(plain.size()));
    pango_layout_set_attributes(layout, attrs);
    pango_attr_list_unref(attrs);
    cairo_save(pc.cr);
    cairo_rectangle(pc.cr, area.left, area.top, area.Width(), area.Height());
    cairo_clip(pc.cr);
    SetColor(pc.cr, style.color);
    if (pango_layout_get_width(layout) > 0) {
        // Pango aligns horizontally inside the width; only the vertical
        // placement is ours.
        PlaceLayout(pc.cr, layout, area, style.align & ~(DT_CENTER | DT_RIGHT));
    } else {
        PlaceLayout(pc.cr, layout, area, style.align);
    }
    pango_cairo_show_layout(pc.cr, layout);
    cairo_restore(pc.cr);
    pango_font_description_free(desc);
    g_object_unref(layout);
}

void GtkRenderer::PaintEdit(PaintContext& pc, CControlUI* control) {
    auto* edit = static_cast<CEditUI*>(control->GetInterface("Edit"));
    const bool focused = control == pc.focus;
    const TextStyle style = StyleOf(control, false, false);
    const RECT area = Inside(control->GetPos(), pc.Scaled(style.padding));
    if (area.Width() <= 0 || area.Height() <= 0)
        return;
    const std::string shown = edit->GetShownText();
    const std::string& preedit = focused ? pc.options->preedit : std::string();
    const bool showHint = shown.empty() && preedit.empty();
    const std::string text = showHint ? edit->GetTipValue() : shown;
    PangoLayout* layout = pango_cairo_create_layout(pc.cr);
    ApplyFontOptions(pango_layout_get_context(layout));
    pango_layout_context_changed(layout);
    const TFontInfo font = pc.Font(style.font);
    PangoFontDescription* desc = NewFontDescription(font);
    pango_layout_set_font_description(layout, desc);
    // The caret and selection in bytes of the shown text (a bullet per
    // character in password mode).
    const std::u16string units = os::Utf8ToUtf16(edit->GetText());
    auto byteOf = [&](int pos) -> int {
        if (edit->IsPasswordMode()) {
            int chars = 0;
            for (int i = 0; i < pos && i < static_cast<int>(units.size()); ++i)
                chars += (units[static_cast<std::size_t>(i)] >= 0xDC00 &&
                          units[static_cast<std::size_t>(i)] <= 0xDFFF)
                             ? 0
                             : 1;
            return chars * 3;
        }
        return static_cast<int>(
            os::Utf16ToUtf8(units.substr(0, static_cast<std::size_t>(std::max(0, pos)))).size());
    };
    int caretByte = showHint ? 0 : byteOf(edit->GetCaret());
    std::string laid = text;
    PangoAttrList* attrs = pango_attr_list_new();
    if (!preedit.empty()) {
        laid.insert(static_cast<std::size_t>(caretByte), preedit);
        PangoAttribute* underline = pango_attr_underline_new(PANGO_UNDERLINE_SINGLE);
        underline->start_index = static_cast<guint>(caretByte);
        underline->end_index = static_cast<guint>(caretByte + static_cast<int>(preedit.size()));
        pango_attr_list_insert(attrs, underline);
        caretByte += static_cast<int>(preedit.size());
    }
    pango_layout_set_text(layout, laid.c_str(), static_cast<int>(laid.size()));
    pango_layout_set_attributes(layout, attrs);
    pango_attr_list_unref(attrs);
    cairo_save(pc.cr);
    cairo_rectangle(pc.cr, area.left, area.top, area.Width(), area.Height());
    cairo_clip(pc.cr);
    int layoutWidth = 0;
    int layoutHeight = 0;
    pango_layout_get_pixel_size(layout, &layoutWidth, &layoutHeight);
    // A text longer than the field scrolls so that the caret stays in view.
    PangoRectangle caretPos;
    pango_layout_get_cursor_pos(layout, caretByte, &caretPos, nullptr);
    const double caretX = caretPos.x / static_cast<double>(PANGO_SCALE);
    const double shift = caretX > area.Width() - 2 ? caretX - (area.Width() - 2) : 0.0;
    const double x = area.left - shift;
    const double y = std::round(area.top + (area.Height() - layoutHeight) / 2.0);
    const auto [selStart, selEnd] = edit->GetSelection();
    if (focused && !showHint && selStart != selEnd) {
        int ranges[2] = {byteOf(selStart), byteOf(selEnd)};
        cairo_region_t* region =
            gdk_pango_layout_get_clip_region(layout, static_cast<int>(x), static_cast<int>(y), ranges, 1);
        cairo_set_source_rgba(pc.cr, 0x33 / 255.0, 0x99 / 255.0, 0xFF / 255.0, 0.35);
        for (int i = 0; i < cairo_region_num_rectangles(region); ++i) {
            cairo_rectangle_int_t r;
            cairo_region_get_rectangle(region, i, &r);
            cairo_rectangle(pc.cr, r.x, r.y, r.width, r.height);
        }
        cairo_fill(pc.cr);
        cairo_region_destroy(region);
    }
    DWORD color = style.color;
    if (showHint)
        color = ParseColor(control->GetAttribute("tipvaluecolor")).value_or(0xFFAAAAAA);
    SetColor(pc.cr, color);
    cairo_move_to(pc.cr, x, y);
    pango_cairo_show_layout(pc.cr, layout);
    if (focused && control->IsEnabled() && !edit->IsReadOnly()) {
        SetColor(pc.cr, style.color);
        const double caretLeft = std::floor(x + caretX);
        cairo_rectangle(
            pc.cr, caretLeft, y + caretPos.y / static_cast<double>(PANGO_SCALE),
            std::max<long>(1, pc.Scaled(1)),
            std::max(caretPos.height / static_cast<double>(PANGO_SCALE), static_cast<double>(font.size)));
        cairo_fill(pc.cr);
    }
    cairo_restore(pc.cr);
    pango_font_description_free(desc);
    g_object_unref(layout);
}

void GtkRenderer::PaintProgress(PaintContext& pc, CControlUI* control) {
    auto* progress = static_cast<CProgressUI*>(control->GetInterface("Progress"));
    const int range = progress->GetMaxValue() - progress->GetMinValue();
    if (range <= 0 || progress->GetForeImage().empty())
        return;
    const RECT rc = control->GetPos();
    const double fraction = static_cast<double>(progress->GetValue() - progress->GetMinValue()) / range;
    RECT shown = rc;
    if (progress->IsHorizontal())
        shown.right = rc.left + static_cast<long>(std::lround(rc.Width() * fraction));
    else
        shown.top = rc.bottom - static_cast<long>(std::lround(rc.Height() * fraction));
    if (shown.Width() <= 0 || shown.Height() <= 0)
        return;
    // The fore image is laid over the whole bar and cut at the value, so its
    // rounded end stays where the bar ends.
    cairo_save(pc.cr);
    cairo_rectangle(pc.cr, shown.left, shown.top, shown.Width(), shown.Height());
    cairo_clip(pc.cr);
    DrawImage(pc, rc, progress->GetForeImage());
    cairo_restore(pc.cr);
}

void GtkRenderer::PaintBorder(PaintContext& pc, CControlUI* control) {
    const auto size = ParseInt(control->GetAttribute("bordersize"));
    if (!size || *size <= 0)
        return;
    std::optional<DWORD> color = ColorAttribute(control, "bordercolor");
    if (control == pc.focus) {
        if (auto focusColor = ColorAttribute(control, "focusbordercolor"))
            color = focusColor;
    }
    if (!color)
        return;
    const RECT rc = control->GetPos();
    const double width = static_cast<double>(pc.Scaled(*size));
    SetColor(pc.cr, *color);
    cairo_set_line_width(pc.cr, width);
    cairo_rectangle(pc.cr, rc.left + width / 2, rc.top + width / 2, rc.Width() - width, rc.Height() - width);
    cairo_stroke(pc.cr);
}

}  // namespace DuiLib
