#pragma once
// Texts with Pango: the layout fonts, the labels' markup as Pango
// attributes, one layout set-up for every text drawn (labels and edits), and
// the measurer the layout pass uses. The painter draws what the control
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

// A window's fonts and lengths at its scale.
struct TextScale {
    // The layout font `id` (-1: the default) with its size in pixels.
    std::function<TFontInfo(int id)> font;
    // A length of the layout.
    std::function<long(long)> length;
};

// A text and the Pango attributes that style it.
struct AttributedText {
    std::string text;
    gtk::PangoAttrListPtr attributes;
};

// A label's text as plain text with Pango attributes. With `html` its markup
// becomes fonts, bold and colours over the runs, and {x N} spaces and {i ...}
// images keep their place as blank room (an EN SPACE of their width; an
// image is as wide as the font is high); without it the text is taken as
// written. `font` is the label's own font (at the scale): its underline
// covers the whole text. Pure (no display, no layout), any thread.
AttributedText MarkupToAttributes(std::string_view text, bool html, const TFontInfo& font,
                                  const TextScale& scale);

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
