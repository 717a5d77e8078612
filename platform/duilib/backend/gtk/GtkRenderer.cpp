#include "platform/duilib/backend/gtk/GtkRenderer.h"

#include "platform/duilib/UIContainer.h"
#include "platform/duilib/UIDPI.h"
#include "platform/duilib/UIEdit.h"
#include "platform/duilib/UIManager.h"
#include "platform/duilib/UIPicture.h"
#include "platform/duilib/UIProgress.h"
#include "platform/duilib/UIRender.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace DuiLib {
namespace {

bool Intersects(const RECT& a, const RECT& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

// `outer` less the padding on each side.
RECT Inside(RECT outer, const RECT& padding) {
    outer.left += padding.left;
    outer.top += padding.top;
    outer.right -= padding.right;
    outer.bottom -= padding.bottom;
    return outer;
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
    gtk::CairoSurfacePtr part(
        cairo_surface_create_for_rectangle(image, src.left, src.top, src.Width(), src.Height()));
    gtk::CairoPatternPtr pattern(cairo_pattern_create_for_surface(part.get()));
    cairo_matrix_t matrix;
    const double sx = xTiled ? 1.0 : static_cast<double>(src.Width()) / dst.Width();
    const double sy = yTiled ? 1.0 : static_cast<double>(src.Height()) / dst.Height();
    cairo_matrix_init_scale(&matrix, sx, sy);
    cairo_matrix_translate(&matrix, -dst.left, -dst.top);
    cairo_pattern_set_matrix(pattern.get(), &matrix);
    cairo_pattern_set_extend(pattern.get(), xTiled || yTiled ? CAIRO_EXTEND_REPEAT : CAIRO_EXTEND_PAD);
    // Stretched skin images keep their crisp edges as GDI's did; scaled
    // ones (high DPI) are smoothed.
    cairo_pattern_set_filter(pattern.get(),
                             (sx == 1.0 && sy == 1.0) ? CAIRO_FILTER_NEAREST : CAIRO_FILTER_GOOD);
    cairo_set_source(cr, pattern.get());
    if (alpha >= 1.0)
        cairo_paint(cr);
    else
        cairo_paint_with_alpha(cr, alpha);
    cairo_restore(cr);
}

// The part of `image` that `info`'s "source" picks (all of it without
// one), cut to the image; empty when nothing of it is left.
std::optional<RECT> SourceRect(const TImageInfo& info, cairo_surface_t* image) {
    const long imageWidth = cairo_image_surface_get_width(image);
    const long imageHeight = cairo_image_surface_get_height(image);
    RECT src = info.hasSource ? info.source : RECT{0, 0, imageWidth, imageHeight};
    src.left = std::max(src.left, 0L);
    src.top = std::max(src.top, 0L);
    src.right = std::min(src.right, imageWidth);
    src.bottom = std::min(src.bottom, imageHeight);
    if (src.Width() <= 0 || src.Height() <= 0)
        return std::nullopt;
    return src;
}

// The window's own shape: a rectangle with rounded corners of radii
// (rx, ry), as the clip of everything drawn after it.
void ClipToRoundRect(cairo_t* cr, const RECT& window, double rx, double ry) {
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

}  // namespace

struct GtkRenderer::PaintContext {
    cairo_t* cr = nullptr;
    CPaintManagerUI* manager = nullptr;
    RECT clip;
    const Options* options = nullptr;

    long Scaled(long value) const { return manager->GetDPIObj().Scale(static_cast<int>(value)); }
    RECT Scaled(const RECT& rc) const { return manager->GetDPIObj().Scale(rc); }
    // The window's fonts and lengths at its scale, for the text painter
    // (images: none; a label's text is given them, an edit's never).
    TextScale Scale() const {
        CPaintManagerUI* m = manager;
        return TextScale{[m](int id) {
                             TFontInfo font = m->GetFont(id);
                             font.size = m->GetDPIObj().Scale(font.size > 0 ? font.size : 12);
                             return font;
                         },
                         [m](long value) -> long { return m->GetDPIObj().Scale(static_cast<int>(value)); },
                         {}};
    }
};

void GtkRenderer::Paint(cairo_t* cr, CPaintManagerUI& manager, const RECT& clip, const Options& options) {
    PaintContext pc;
    pc.cr = cr;
    pc.manager = &manager;
    pc.clip = clip;
    pc.options = &options;
    cairo_save(cr);
    if (options.composited) {
        PaintWindowShape(pc, manager.GetClientRect());
    } else {
        // An opaque window: whatever the skin leaves uncovered is white.
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_rectangle(cr, clip.left, clip.top, clip.Width(), clip.Height());
        cairo_fill(cr);
    }
    cairo_rectangle(cr, clip.left, clip.top, clip.Width(), clip.Height());
    cairo_clip(cr);
    if (CControlUI* root = manager.GetRoot())
        PaintControl(pc, root);
    PaintFocusIndicator(pc);
    cairo_restore(cr);
}

void GtkRenderer::PaintFocusIndicator(PaintContext& pc) {
    // Whether and where is the model's decision; over everything else, as
    // the focused control may lie under a sibling's border.
    const std::optional<TFocusIndicator> indicator = pc.manager->GetFocusIndicator();
    if (!indicator || !Intersects(indicator->rect, pc.clip))
        return;
    const RECT& rc = indicator->rect;
    const double width = indicator->width;
    cairo_save(pc.cr);
    cairo_rectangle(pc.cr, rc.left, rc.top, rc.Width(), rc.Height());
    cairo_clip(pc.cr);
    cairo_set_line_width(pc.cr, width);
    SetSourceColor(pc.cr, indicator->color);
    cairo_rectangle(pc.cr, rc.left + width / 2, rc.top + width / 2, rc.Width() - width, rc.Height() - width);
    cairo_stroke(pc.cr);
    // The contrasting line just inside keeps the ring visible on a
    // background of its own colour.
    cairo_set_line_width(pc.cr, 1.0);
    SetSourceColor(pc.cr, indicator->contrast);
    cairo_rectangle(pc.cr, rc.left + width + 0.5, rc.top + width + 0.5, rc.Width() - 2 * width - 1,
                    rc.Height() - 2 * width - 1);
    cairo_stroke(pc.cr);
    cairo_restore(pc.cr);
}

void GtkRenderer::PaintWindowShape(PaintContext& pc, const RECT& window) {
    // Transparent around the window; the shadow lies in its margin.
    cairo_save(pc.cr);
    cairo_set_operator(pc.cr, CAIRO_OPERATOR_CLEAR);
    cairo_paint(pc.cr);
    cairo_restore(pc.cr);
    if (pc.options->shadowMargin > 0)
        PaintShadow(pc, window);
    const SIZE corner = pc.manager->GetRoundCorner();
    if (corner.cx > 0 && corner.cy > 0)
        ClipToRoundRect(pc.cr, window, pc.Scaled(corner.cx) / 2.0, pc.Scaled(corner.cy) / 2.0);
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
    const TDrawState state = control->GetDrawState();
    cairo_save(pc.cr);
    // A control never paints outside its rectangle, nor its children.
    cairo_rectangle(pc.cr, rc.left, rc.top, rc.Width(), rc.Height());
    cairo_clip(pc.cr);
    PaintBackground(pc, control, state);
    DrawImage(pc, rc, control->GetStateImage(state));
    if (ControlCast<CProgressUI>(control) != nullptr)
        PaintProgress(pc, control);
    if (ControlCast<CEditUI>(control) != nullptr)
        PaintEdit(pc, control, state);
    else
        PaintText(pc, control, state);
    if (auto* container = ControlCast<CContainerUI>(control)) {
        for (int i = 0; i < container->GetCount(); ++i)
            PaintControl(pc, container->GetItemAt(i));
    }
    PaintBorder(pc, control, state);
    cairo_restore(pc.cr);
}

void GtkRenderer::PaintBackground(PaintContext& pc, CControlUI* control, const TDrawState& state) {
    const RECT rc = control->GetPos();
    const DWORD color = control->GetStateBkColor(state);
    if ((color & 0xFF000000) != 0) {
        SetSourceColor(pc.cr, color);
        cairo_rectangle(pc.cr, rc.left, rc.top, rc.Width(), rc.Height());
        cairo_fill(pc.cr);
    }
    DrawImage(pc, rc, control->GetBkImage());
    if (auto* picture = ControlCast<CPictureUI>(control))
        DrawImage(pc, rc, picture->GetBitmap());
}

void GtkRenderer::PaintText(PaintContext& pc, CControlUI* control, const TDrawState& state) {
    const std::string& text = control->GetText();
    if (text.empty())
        return;
    const TTextLook look = control->GetTextLook(state);
    TextScale scale = pc.Scale();
    scale.image = [this, &pc](std::string_view image) { return InlineImage(pc, image); };
    GtkTextPainter(pc.cr, std::move(scale))
        .PaintText(Inside(control->GetPos(), pc.Scaled(look.padding)), text, look);
}

void GtkRenderer::PaintEdit(PaintContext& pc, CControlUI* control, const TDrawState& state) {
    auto* edit = ControlCast<CEditUI>(control);
    const TTextLook look = edit->GetTextLook(state);
    const std::string& preedit = state.focused ? pc.options->preedit : std::string();
    const TEditView view = edit->GetView(state, !preedit.empty());
    GtkTextPainter(pc.cr, pc.Scale())
        .PaintEdit(Inside(control->GetPos(), pc.Scaled(look.padding)), view, preedit, look,
                   std::max<long>(1, pc.Scaled(1)));
}

void GtkRenderer::PaintProgress(PaintContext& pc, CControlUI* control) {
    auto* progress = ControlCast<CProgressUI>(control);
    const RECT shown = progress->GetValueRect();
    if (progress->GetForeImage().empty() || shown.Width() <= 0 || shown.Height() <= 0)
        return;
    // The fore image is laid over the whole bar and cut at the value, so its
    // rounded end stays where the bar ends.
    cairo_save(pc.cr);
    cairo_rectangle(pc.cr, shown.left, shown.top, shown.Width(), shown.Height());
    cairo_clip(pc.cr);
    DrawImage(pc, control->GetPos(), progress->GetForeImage());
    cairo_restore(pc.cr);
}

void GtkRenderer::PaintBorder(PaintContext& pc, CControlUI* control, const TDrawState& state) {
    const int size = control->GetBorderSize();
    const std::optional<DWORD> color = control->GetStateBorderColor(state);
    if (size <= 0 || !color)
        return;
    const RECT rc = control->GetPos();
    const double width = static_cast<double>(pc.Scaled(size));
    SetSourceColor(pc.cr, *color);
    cairo_set_line_width(pc.cr, width);
    cairo_rectangle(pc.cr, rc.left + width / 2, rc.top + width / 2, rc.Width() - width, rc.Height() - width);
    cairo_stroke(pc.cr);
}

MarkupImage GtkRenderer::InlineImage(PaintContext& pc, std::string_view text) {
    const TImageInfo info = ParseImageString(text);
    if (info.file.empty())
        return {};
    cairo_surface_t* image = m_images.Get(*pc.manager, info);
    if (image == nullptr)
        return {};
    const std::optional<RECT> src = SourceRect(info, image);
    if (!src)
        return {};
    // The part holds its own reference to the cached image: the layout's
    // attributes may outlive the cache's entry.
    return MarkupImage{gtk::CairoSurfacePtr(cairo_surface_create_for_rectangle(image, src->left, src->top,
                                                                               src->Width(), src->Height())),
                       static_cast<int>(src->Width()), static_cast<int>(src->Height())};
}

bool GtkRenderer::DrawImage(PaintContext& pc, const RECT& rc, std::string_view text) {
    if (text.empty())
        return false;
    const TImageInfo info = ParseImageString(text);
    if (info.file.empty())
        return false;
    cairo_surface_t* image = m_images.Get(*pc.manager, info);
    if (image == nullptr)
        return false;
    const std::optional<RECT> part = SourceRect(info, image);
    if (!part)
        return false;
    const RECT src = *part;
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

}  // namespace DuiLib
