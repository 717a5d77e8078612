#include "platform/duilib/backend/gtk/GtkTextPainter.h"

#include "platform/duilib/UIManager.h"
#include "platform/duilib/UIRender.h"

#include <gdk/gdk.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>

namespace DuiLib {
namespace {

using gtk::GObjectPtr;

// Font sizes and blank room beyond any screen, as a layout from outside may
// give them, are cut here so that their Pango units (x 1024) stay in an int.
constexpr int kMaxTextPixels = 1 << 16;

int TextPixels(long pixels) {
    return static_cast<int>(std::clamp<long>(pixels, 0, kMaxTextPixels));
}

// Gives `attribute` the bytes [start, end) and hands it to `list`.
void Insert(PangoAttrList* list, PangoAttribute* attribute, std::size_t start, std::size_t end) {
    attribute->start_index = static_cast<guint>(start);
    attribute->end_index = static_cast<guint>(end);
    pango_attr_list_insert(list, attribute);
}

// Blank room for a {x N} space or an {i ...} image: an EN SPACE (U+2002)
// whose shape is `width` wide and as high as the font.
void AppendRoom(AttributedText& out, long roomWidth, long roomHeight) {
    const int width = TextPixels(roomWidth);
    const int fontSize = TextPixels(roomHeight);
    const std::size_t start = out.text.size();
    out.text += "\xE2\x80\x82";
    PangoRectangle ink{0, 0, width * PANGO_SCALE, fontSize * PANGO_SCALE};
    PangoRectangle logical{0, -fontSize * PANGO_SCALE, width * PANGO_SCALE, fontSize * PANGO_SCALE};
    Insert(out.attributes.get(), pango_attr_shape_new(&ink, &logical), start, out.text.size());
}

// The data of an image's shape: a reference to the pattern that paints it,
// taken again for every copy Pango makes of the attribute.
gpointer ReferencePattern(gconstpointer pattern) {
    return cairo_pattern_reference(static_cast<cairo_pattern_t*>(const_cast<gpointer>(pattern)));
}

void ReleasePattern(gpointer pattern) {
    cairo_pattern_destroy(static_cast<cairo_pattern_t*>(pattern));
}

// The pattern that paints `image` over [0, width) x [0, height): smoothed
// only when scaled, as the renderer draws the skin's other images.
gtk::CairoPatternPtr ImagePattern(const MarkupImage& image, int width, int height) {
    gtk::CairoPatternPtr pattern(cairo_pattern_create_for_surface(image.pixels.get()));
    const double sx = static_cast<double>(image.width) / width;
    const double sy = static_cast<double>(image.height) / height;
    cairo_matrix_t matrix;
    cairo_matrix_init_scale(&matrix, sx, sy);
    cairo_pattern_set_matrix(pattern.get(), &matrix);
    cairo_pattern_set_extend(pattern.get(), CAIRO_EXTEND_PAD);
    cairo_pattern_set_filter(pattern.get(),
                             sx == 1.0 && sy == 1.0 ? CAIRO_FILTER_NEAREST : CAIRO_FILTER_GOOD);
    return pattern;
}

// An {i ...} image: an EN SPACE shaped as the image at the scale, centred
// on the line, carrying the pattern that paints it; the blank room of old
// when the image cannot be drawn (missing, refused, or nothing at the scale).
void AppendImage(AttributedText& out, const TMarkupRun& run, const TFontInfo& font, const TextScale& scale,
                 const LineBox& line) {
    const MarkupImage image = scale.image ? scale.image(run.text) : MarkupImage{};
    const bool drawable = image.pixels != nullptr && image.width > 0 && image.height > 0 &&
                          cairo_surface_status(image.pixels.get()) == CAIRO_STATUS_SUCCESS;
    const int width = drawable ? TextPixels(scale.length(image.width)) : 0;
    const int height = drawable ? TextPixels(scale.length(image.height)) : 0;
    if (width <= 0 || height <= 0) {
        AppendRoom(out, font.size, font.size);
        return;
    }
    const long ascent = TextPixels(line.ascent > 0 ? line.ascent : font.size);
    const long descent = line.ascent > 0 ? TextPixels(line.descent) : 0;
    // The image's top, from the baseline (down is positive), in whole
    // pixels: the line's room beside the image split in two, an odd pixel
    // below it.
    const long spare = ascent + descent - height;
    const long top = -ascent + (spare >= 0 ? spare / 2 : -((-spare + 1) / 2));
    PangoRectangle box{0, static_cast<int>(top) * PANGO_SCALE, width * PANGO_SCALE, height * PANGO_SCALE};
    const std::size_t start = out.text.size();
    out.text += "\xE2\x80\x82";
    Insert(out.attributes.get(),
           pango_attr_shape_new_with_data(&box, &box, ImagePattern(image, width, height).release(),
                                          ReferencePattern, ReleasePattern),
           start, out.text.size());
}

// The font, weight and colour of a text run over the bytes [start, end).
void StyleRun(AttributedText& out, const TMarkupRun& run, std::size_t start, const TextScale& scale) {
    const std::size_t end = out.text.size();
    PangoAttrList* list = out.attributes.get();
    if (run.font >= 0)
        Insert(list, pango_attr_font_desc_new(NewFontDescription(scale.font(run.font)).get()), start, end);
    if (run.bold)
        Insert(list, pango_attr_weight_new(PANGO_WEIGHT_BOLD), start, end);
    if (run.color) {
        const DWORD c = *run.color;
        Insert(list,
               pango_attr_foreground_new(static_cast<guint16>(((c >> 16) & 0xFF) * 257),
                                         static_cast<guint16>(((c >> 8) & 0xFF) * 257),
                                         static_cast<guint16>((c & 0xFF) * 257)),
               start, end);
    }
}

// `text`, or a copy with every broken UTF-8 sequence replaced by U+FFFD.
std::string Utf8Valid(std::string_view text) {
    if (g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr))
        return std::string(text);
    gtk::GCharPtr valid(g_utf8_make_valid(text.data(), static_cast<gssize>(text.size())));
    return valid.get();
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

// Width, alignment, wrapping and ellipsis of a label's layout in `area`.
void SetLines(PangoLayout* layout, const RECT& area, const TTextLook& look) {
    pango_layout_set_width(layout, area.Width() * PANGO_SCALE);
    pango_layout_set_alignment(layout, (look.align & DT_CENTER) != 0  ? PANGO_ALIGN_CENTER
                                       : (look.align & DT_RIGHT) != 0 ? PANGO_ALIGN_RIGHT
                                                                      : PANGO_ALIGN_LEFT);
    if ((look.align & DT_SINGLELINE) != 0) {
        pango_layout_set_ellipsize(layout, look.ellipsis ? PANGO_ELLIPSIZE_END : PANGO_ELLIPSIZE_NONE);
        if (!look.ellipsis)
            pango_layout_set_width(layout, -1);
    } else {
        pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
        if (look.ellipsis) {
            pango_layout_set_height(layout, area.Height() * PANGO_SCALE);
            pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
        }
    }
}

// Pango's cairo renderer calls this for every shaped run it draws, with the
// current point at the run's origin on the baseline. An image's shape
// carries the pattern that paints it; blank room carries nothing. UI thread.
void DrawShape(cairo_t* cr, PangoAttrShape* shape, gboolean doPath, gpointer /*unused*/) {
    auto* pattern = static_cast<cairo_pattern_t*>(shape->data);
    if (pattern == nullptr || doPath || !cairo_has_current_point(cr))
        return;
    double x = 0;
    double y = 0;
    cairo_get_current_point(cr, &x, &y);
    const PangoRectangle& ink = shape->ink_rect;
    cairo_save(cr);
    // On whole pixels, so that an image at its own size stays crisp.
    cairo_translate(cr, std::round(x + static_cast<double>(ink.x) / PANGO_SCALE),
                    std::round(y + static_cast<double>(ink.y) / PANGO_SCALE));
    cairo_new_path(cr);
    cairo_rectangle(cr, 0, 0, static_cast<double>(ink.width) / PANGO_SCALE,
                    static_cast<double>(ink.height) / PANGO_SCALE);
    cairo_set_source(cr, pattern);
    cairo_fill(cr);
    cairo_restore(cr);
}

// The line of the layout's own font, the line its inline images centre on.
LineBox OwnLineBox(PangoLayout* layout) {
    PangoFontMetrics* metrics = pango_context_get_metrics(pango_layout_get_context(layout),
                                                          pango_layout_get_font_description(layout), nullptr);
    const LineBox box{
        std::lround(pango_font_metrics_get_ascent(metrics) / static_cast<double>(PANGO_SCALE)),
        std::lround(pango_font_metrics_get_descent(metrics) / static_cast<double>(PANGO_SCALE))};
    pango_font_metrics_unref(metrics);
    return box;
}

}  // namespace

void SetSourceColor(cairo_t* cr, DWORD argb) {
    cairo_set_source_rgba(cr, ((argb >> 16) & 0xFF) / 255.0, ((argb >> 8) & 0xFF) / 255.0,
                          (argb & 0xFF) / 255.0, ((argb >> 24) & 0xFF) / 255.0);
}

// ---- fonts and measuring ----------------------------------------------------------------

gtk::PangoFontDescriptionPtr NewFontDescription(const TFontInfo& font) {
    gtk::PangoFontDescriptionPtr desc(pango_font_description_new());
    pango_font_description_set_family(desc.get(), font.name.empty() ? "Noto Sans CJK SC" : font.name.c_str());
    pango_font_description_set_absolute_size(desc.get(),
                                             (font.size > 0 ? TextPixels(font.size) : 12) * PANGO_SCALE);
    pango_font_description_set_weight(desc.get(), font.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_font_description_set_style(desc.get(), font.italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
    return desc;
}

void ApplyFontOptions(PangoContext* context) {
    gtk::CairoFontOptionsPtr options(cairo_font_options_create());
    cairo_font_options_set_antialias(options.get(), CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(options.get(), CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_hint_metrics(options.get(), CAIRO_HINT_METRICS_OFF);
    pango_cairo_context_set_font_options(context, options.get());
    pango_cairo_context_set_resolution(context, 96.0);
}

SIZE MeasureTextSize(const TFontInfo& font, std::string_view text) {
    // One context per thread: Pango's font map is per thread, and layout
    // passes may measure from any thread.
    struct ThreadContext {
        ThreadContext() : context(pango_font_map_create_context(pango_cairo_font_map_get_default())) {
            ApplyFontOptions(context.get());
        }
        GObjectPtr<PangoContext> context;
    };
    thread_local ThreadContext local;
    GObjectPtr<PangoLayout> layout(pango_layout_new(local.context.get()));
    pango_layout_set_font_description(layout.get(), NewFontDescription(font).get());
    pango_layout_set_text(layout.get(), text.data(), static_cast<int>(text.size()));
    int width = 0;
    int height = 0;
    pango_layout_get_pixel_size(layout.get(), &width, &height);
    return SIZE{width, height};
}

// ---- the labels' markup -----------------------------------------------------------------

AttributedText MarkupToAttributes(std::string_view text, bool html, const TFontInfo& font,
                                  const TextScale& scale, const LineBox& line) {
    AttributedText out;
    out.attributes.reset(pango_attr_list_new());
    if (font.underline)
        pango_attr_list_insert(out.attributes.get(), pango_attr_underline_new(PANGO_UNDERLINE_SINGLE));
    // Pango takes UTF-8 only, and a tag inside a broken character would
    // leave a run's bounds inside a whole one: broken bytes become U+FFFD.
    const std::string valid = Utf8Valid(text);
    if (!html) {
        out.text = valid;
        return out;
    }
    for (const TMarkupRun& run : ParseMarkup(valid)) {
        const std::size_t start = out.text.size();
        switch (run.kind) {
            case TMarkupRun::Kind::Text:
                out.text += run.text;
                if (out.text.size() > start)
                    StyleRun(out, run, start, scale);
                break;
            case TMarkupRun::Kind::NewLine:
                out.text += '\n';
                break;
            case TMarkupRun::Kind::Space:
                AppendRoom(out, scale.length(run.space), font.size);
                break;
            case TMarkupRun::Kind::Image:
                AppendImage(out, run, font, scale, line);
                break;
        }
    }
    return out;
}

// ---- painting ------------------------------------------------------------------------------

GtkTextPainter::GtkTextPainter(cairo_t* cr, TextScale scale) : m_cr(cr), m_scale(std::move(scale)) {}

GObjectPtr<PangoLayout> GtkTextPainter::NewLayout(const TFontInfo& font) const {
    GObjectPtr<PangoLayout> layout(pango_cairo_create_layout(m_cr));
    // The layout's context is its own: the options and the shape renderer
    // (which draws the markup's images) reach no other text.
    PangoContext* context = pango_layout_get_context(layout.get());
    ApplyFontOptions(context);
    pango_cairo_context_set_shape_renderer(context, DrawShape, nullptr, nullptr);
    pango_layout_context_changed(layout.get());
    pango_layout_set_font_description(layout.get(), NewFontDescription(font).get());
    return layout;
}

void GtkTextPainter::PaintText(const RECT& area, std::string_view text, const TTextLook& look) {
    if (text.empty() || area.Width() <= 0 || area.Height() <= 0)
        return;
    const TFontInfo font = m_scale.font(look.font);
    GObjectPtr<PangoLayout> layout = NewLayout(font);
    SetLines(layout.get(), area, look);
    // The font's metrics are looked up only for a text that may hold an image.
    const bool mayHoldImage = look.html && text.find("{i ") != std::string_view::npos;
    const AttributedText laid = MarkupToAttributes(text, look.html, font, m_scale,
                                                   mayHoldImage ? OwnLineBox(layout.get()) : LineBox{});
    pango_layout_set_text(layout.get(), laid.text.c_str(), static_cast<int>(laid.text.size()));
    pango_layout_set_attributes(layout.get(), laid.attributes.get());
    cairo_save(m_cr);
    cairo_rectangle(m_cr, area.left, area.top, area.Width(), area.Height());
    cairo_clip(m_cr);
    SetSourceColor(m_cr, look.color);
    // With a width Pango aligns horizontally inside it; only the vertical
    // placement is ours then.
    const bool wrapped = pango_layout_get_width(layout.get()) > 0;
    PlaceLayout(m_cr, layout.get(), area, wrapped ? look.align & ~(DT_CENTER | DT_RIGHT) : look.align);
    pango_cairo_show_layout(m_cr, layout.get());
    cairo_restore(m_cr);
}

void GtkTextPainter::PaintSelection(PangoLayout* layout, double x, double y, const TEditView& view) {
    int ranges[2] = {view.selectionStart, view.selectionEnd};
    gtk::CairoRegionPtr region(
        gdk_pango_layout_get_clip_region(layout, static_cast<int>(x), static_cast<int>(y), ranges, 1));
    cairo_set_source_rgba(m_cr, 0x33 / 255.0, 0x99 / 255.0, 0xFF / 255.0, 0.35);
    for (int i = 0; i < cairo_region_num_rectangles(region.get()); ++i) {
        cairo_rectangle_int_t r;
        cairo_region_get_rectangle(region.get(), i, &r);
        cairo_rectangle(m_cr, r.x, r.y, r.width, r.height);
    }
    cairo_fill(m_cr);
}

void GtkTextPainter::PaintEdit(const RECT& area, const TEditView& view, const std::string& preedit,
                               const TTextLook& look, long caretWidth) {
    if (area.Width() <= 0 || area.Height() <= 0)
        return;
    const TFontInfo font = m_scale.font(look.font);
    GObjectPtr<PangoLayout> layout = NewLayout(font);
    // A text being composed sits at the caret, underlined; the caret after it.
    std::string laid = view.text;
    int caretByte = std::clamp(view.caretByte, 0, static_cast<int>(laid.size()));
    gtk::PangoAttrListPtr attributes(pango_attr_list_new());
    if (!preedit.empty()) {
        laid.insert(static_cast<std::size_t>(caretByte), preedit);
        Insert(attributes.get(), pango_attr_underline_new(PANGO_UNDERLINE_SINGLE),
               static_cast<std::size_t>(caretByte), static_cast<std::size_t>(caretByte) + preedit.size());
        caretByte += static_cast<int>(preedit.size());
    }
    pango_layout_set_text(layout.get(), laid.c_str(), static_cast<int>(laid.size()));
    pango_layout_set_attributes(layout.get(), attributes.get());
    cairo_save(m_cr);
    cairo_rectangle(m_cr, area.left, area.top, area.Width(), area.Height());
    cairo_clip(m_cr);
    int layoutWidth = 0;
    int layoutHeight = 0;
    pango_layout_get_pixel_size(layout.get(), &layoutWidth, &layoutHeight);
    // A text longer than the field scrolls so that the caret stays in view.
    PangoRectangle caretPos;
    pango_layout_get_cursor_pos(layout.get(), caretByte, &caretPos, nullptr);
    const double caretX = caretPos.x / static_cast<double>(PANGO_SCALE);
    const double shift = caretX > area.Width() - 2 ? caretX - (area.Width() - 2) : 0.0;
    const double x = area.left - shift;
    const double y = std::round(area.top + (area.Height() - layoutHeight) / 2.0);
    if (view.selectionStart != view.selectionEnd)
        PaintSelection(layout.get(), x, y, view);
    SetSourceColor(m_cr, view.color);
    cairo_move_to(m_cr, x, y);
    pango_cairo_show_layout(m_cr, layout.get());
    if (view.caret) {
        SetSourceColor(m_cr, look.color);
        cairo_rectangle(
            m_cr, std::floor(x + caretX), y + caretPos.y / static_cast<double>(PANGO_SCALE), caretWidth,
            std::max(caretPos.height / static_cast<double>(PANGO_SCALE), static_cast<double>(font.size)));
        cairo_fill(m_cr);
    }
    cairo_restore(m_cr);
}

}  // namespace DuiLib
