#pragma once
// Paints a window's control tree with cairo and Pango, the way the original
// library painted with GDI: colours and borders, images from the archive the
// window was built from (source, dest, corner nine-slice, fade, mask, tiles,
// restype='fullpath'), texts in the layout's fonts with alignment, padding,
// ellipsis, wrapping and the labels' markup, the state images of buttons and
// options, progress bars, and the edit's text, hint, selection and caret.
//
// Decoded images are cached per archive (the archive's id), so a window
// built from the toolbox archive and one built from the skin each find
// their own. UI thread only, like the windows it paints.

#include "platform/duilib/UIDefine.h"

#include <cairo.h>
#include <pango/pango.h>

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <utility>

namespace DuiLib {

class CControlUI;
class CPaintManagerUI;
struct TFontInfo;
struct TImageInfo;

class GtkRenderer {
  public:
    struct Options {
        // Round corners and the shadow frame are drawn with transparency
        // (a compositor runs); otherwise the window is a plain rectangle.
        bool composited = false;
        // The shadow's width around the window's rectangle (composited only).
        int shadowMargin = 0;
        // The input method's text being composed in the focused edit, drawn
        // at its caret, and the caret position inside it (bytes).
        std::string preedit;
    };

    GtkRenderer();
    ~GtkRenderer();
    GtkRenderer(const GtkRenderer&) = delete;
    GtkRenderer& operator=(const GtkRenderer&) = delete;

    // Paints the window of `manager` into `cr`, whose origin is the window's
    // top-left corner (the shadow, when drawn, lies at negative offsets of
    // it). Only what intersects `clip` (client coordinates) is drawn.
    void Paint(cairo_t* cr, CPaintManagerUI& manager, const RECT& clip, const Options& options);

    // The size of `text` in `font` (pixel size as given): the measurer the
    // layout pass uses. Thread-safe: each thread measures with its own
    // Pango context.
    static SIZE MeasureText(const TFontInfo& font, std::string_view text);

    // Drops the images of archives no live window uses any more.
    void ForgetArchivesExcept(const std::set<std::uint64_t>& live);
    // Images decoded so far (for the cache's tests).
    std::size_t CachedImageCount() const { return m_images.size(); }

  private:
    struct PaintContext;

    void PaintControl(PaintContext& pc, CControlUI* control);
    void PaintBackground(PaintContext& pc, CControlUI* control);
    void PaintStateImages(PaintContext& pc, CControlUI* control);
    void PaintText(PaintContext& pc, CControlUI* control);
    void PaintEdit(PaintContext& pc, CControlUI* control);
    void PaintProgress(PaintContext& pc, CControlUI* control);
    void PaintBorder(PaintContext& pc, CControlUI* control);
    void PaintShadow(PaintContext& pc, const RECT& window);
    // Draws an image string inside `rc`. False when the image cannot be
    // loaded.
    bool DrawImage(PaintContext& pc, const RECT& rc, std::string_view image);
    cairo_surface_t* LoadImage(PaintContext& pc, const TImageInfo& info);

    // (archive id, file key) -> decoded image; null for an image that
    // cannot be decoded (not retried every paint).
    std::map<std::pair<std::uint64_t, std::string>, cairo_surface_t*> m_images;
};

// A Pango layout for a font of the layout (pixel size `font.size`) with the
// renderer's fixed font options (grey antialiasing, no hinting), so that
// text looks and measures the same everywhere.
PangoFontDescription* NewFontDescription(const TFontInfo& font);
void ApplyFontOptions(PangoContext* context);

}  // namespace DuiLib
