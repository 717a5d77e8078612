#pragma once
// Paints a window's control tree with cairo and Pango, as GDI painted it:
// the walk over the tree, each control's colours, borders and images
// (source, dest, corner nine-slice, fade, mask, tiles, restype='fullpath'),
// progress bars, and its text through the text painter. What a control
// looks like in its state (which image, which colour) is the control
// model's choice (UIControl.h); the renderer draws it. Images come from the
// image cache, decoded per archive within a bound (GtkImageCache.h).
// UI thread only, like the windows it paints.

#include "platform/duilib/UIDefine.h"
#include "platform/duilib/backend/gtk/GtkImageCache.h"
#include "platform/duilib/backend/gtk/GtkTextPainter.h"

#include <cairo.h>

#include <cstdint>
#include <set>
#include <string>
#include <string_view>

namespace DuiLib {

class CControlUI;
class CPaintManagerUI;
struct TFontInfo;

class GtkRenderer {
  public:
    struct Options {
        // Round corners and the shadow frame are drawn with transparency
        // (a compositor runs); otherwise the window is a plain rectangle.
        bool composited = false;
        // The shadow's width around the window's rectangle (composited only).
        int shadowMargin = 0;
        // The input method's text being composed in the focused edit, drawn
        // at its caret.
        std::string preedit;
    };

    GtkRenderer() = default;
    GtkRenderer(const GtkRenderer&) = delete;
    GtkRenderer& operator=(const GtkRenderer&) = delete;

    // Paints the window of `manager` into `cr`, whose origin is the window's
    // top-left corner (the shadow, when drawn, lies at negative offsets of
    // it). Only what intersects `clip` (client coordinates) is drawn.
    void Paint(cairo_t* cr, CPaintManagerUI& manager, const RECT& clip, const Options& options);

    // The size of `text` in `font` (pixel size as given): the measurer the
    // layout pass uses. Thread-safe: each thread measures with its own
    // Pango context.
    static SIZE MeasureText(const TFontInfo& font, std::string_view text) {
        return MeasureTextSize(font, text);
    }

    // Drops the images of archives no live window uses any more.
    void ForgetArchivesExcept(const std::set<std::uint64_t>& live) { m_images.ForgetArchivesExcept(live); }
    // Images decoded so far (for the cache's tests).
    std::size_t CachedImageCount() const { return m_images.Count(); }

  private:
    struct PaintContext;

    void PaintWindowShape(PaintContext& pc, const RECT& window);
    void PaintControl(PaintContext& pc, CControlUI* control);
    void PaintBackground(PaintContext& pc, CControlUI* control, const TDrawState& state);
    void PaintText(PaintContext& pc, CControlUI* control, const TDrawState& state);
    void PaintEdit(PaintContext& pc, CControlUI* control, const TDrawState& state);
    void PaintProgress(PaintContext& pc, CControlUI* control);
    void PaintBorder(PaintContext& pc, CControlUI* control, const TDrawState& state);
    void PaintShadow(PaintContext& pc, const RECT& window);
    // The focus indicator the window's manager asks for, if any.
    void PaintFocusIndicator(PaintContext& pc);
    // The pixels of an image in a label's markup (an image string), from the
    // same cache as the window's other images.
    MarkupImage InlineImage(PaintContext& pc, std::string_view text);
    // Draws an image string inside `rc`. False when the image cannot be
    // drawn.
    bool DrawImage(PaintContext& pc, const RECT& rc, std::string_view image);

    GtkImageCache m_images;
};

}  // namespace DuiLib
