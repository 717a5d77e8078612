#pragma once
// Texts with Pango: the layout fonts, the labels' markup as Pango
// attributes (its images drawn by the layouts' shape renderer), one layout
// set-up for every text drawn (labels and edits), and the measurer the
// layout pass uses. The painter draws what the control
// model chose (UIControl.h: the text look, UIEdit.h: the edit's view).

#include "platform/duilib/UIDefine.h"
#include "platform/duilib/UIEdit.h"
#include "platform/duilib/backend/gtk/GtkHolders.h"

#include <cairo.h>
#include <pango/pango.h>

#include <functional>
#include <string>
#include <string_view>

namespace DuiLib {

struct TFontInfo;

// A font description for a layout font (pixel size as given; the layout's
// sizes are character heights in pixels, as GDI fonts take them).
gtk::PangoFontDescriptionPtr NewFontDescription(const TFontInfo& font);
// The renderer's fixed font options (grey antialiasing, no hinting, 96 DPI),
// so that text looks and measures the same everywhere.
void ApplyFontOptions(PangoContext* context);
// The size of `text` in `font` (pixel size as given). Any thread: each
// thread measures with its own Pango context.
SIZE MeasureTextSize(const TFontInfo& font, std::string_view text);

// The pixels an inline image of the markup names: the part of the image
// its "source" picks (all of it without one) and that part's size in image
// pixels.
struct MarkupImage {
    gtk::CairoSurfacePtr pixels;  // null: the image cannot be drawn
    int width = 0;
    int height = 0;
};

// A window's fonts, lengths and images at its scale.
struct TextScale {
    // The layout font `id` (-1: the default) with its size in pixels.
    std::function<TFontInfo(int id)> font;
    // A length of the layout.
    std::function<long(long)> length;
    // The image an {i ...} run names (its image string, as the layout's
    // image attributes take them). Unset: every image keeps blank room.
    std::function<MarkupImage(std::string_view image)> image;
};

// Where a line of a font lies around its baseline, in pixels: `ascent`
// above it, `descent` below. Zero ascent: the font's size above the
// baseline and nothing below (the box of the blank room).
struct LineBox {
    long ascent = 0;
    long descent = 0;
};

// A text and the Pango attributes that style it.
struct AttributedText {
    std::string text;
    gtk::PangoAttrListPtr attributes;
};

// A label's text as plain text with Pango attributes. With `html` its markup
// becomes fonts, bold and colours over the runs; an {x N} space keeps its
// place as blank room (an EN SPACE of its width), and an {i ...} image
// becomes an EN SPACE shaped as the image at the window's scale, centred on
// `line` (the label's own font's line), whose data is the cairo pattern
// that paints it with its top-left corner at the origin (the painter's
// shape renderer draws it). An image that `scale` cannot give keeps blank
// room as wide as the font is high. Without `html` the text is taken as
// written. `font` is the label's own font (at the scale): its underline
// covers the whole text. Pure (no display, no layout), any thread that
// `scale`'s functions may run on.
AttributedText MarkupToAttributes(std::string_view text, bool html, const TFontInfo& font,
                                  const TextScale& scale, const LineBox& line = {});

// Sets `argb` (alpha in the top byte) as the source colour of `cr`.
void SetSourceColor(cairo_t* cr, DWORD argb);

// Draws texts into one cairo context for one paint pass. UI thread.
class GtkTextPainter {
  public:
    GtkTextPainter(cairo_t* cr, TextScale scale);

    // A label's (or a text-carrying container's) text inside `area`, which
    // already lies inside the text padding.
    void PaintText(const RECT& area, std::string_view text, const TTextLook& look);
    // An edit's field inside `area`: `view` as the model chose it, `preedit`
    // the input method's text being composed at the caret, `look` the
    // font and the caret's colour, `caretWidth` in pixels.
    void PaintEdit(const RECT& area, const TEditView& view, const std::string& preedit, const TTextLook& look,
                   long caretWidth);

  private:
    // The one layout set-up: a layout of this context in `font` with the
    // fixed font options.
    gtk::GObjectPtr<PangoLayout> NewLayout(const TFontInfo& font) const;
    void PaintSelection(PangoLayout* layout, double x, double y, const TEditView& view);

    cairo_t* m_cr;
    TextScale m_scale;
};

}  // namespace DuiLib
