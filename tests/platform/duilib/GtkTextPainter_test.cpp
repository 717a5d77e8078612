// The text painter's markup step: a label's markup as plain text with Pango
// attributes over byte ranges, without a display or a layout.
#include "platform/duilib/backend/gtk/GtkTextPainter.h"
#include "platform/duilib/UIManager.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

using namespace DuiLib;

namespace {

// The images a window's archive holds: "arrow.png" 10 x 6, "tall.png"
// 10 x 20; "flat.png" says it has no height, "broken.png" is a surface in
// error.
MarkupImage FindImage(std::string_view name) {
    const auto surface = [](int width, int height) {
        return gtk::CairoSurfacePtr(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
    };
    if (name == "arrow.png")
        return {surface(10, 6), 10, 6};
    if (name == "tall.png")
        return {surface(10, 20), 10, 20};
    if (name == "flat.png")
        return {surface(10, 1), 10, 0};
    if (name == "broken.png")
        return {surface(-1, -1), 4, 4};
    return {};
}

// The window's fonts at a scale of 200 %: font N is "FN" of 10 + N pixels.
TextScale Scale() {
    return TextScale{[](int id) {
                         TFontInfo font;
                         font.name = "F" + std::to_string(id);
                         font.size = 2 * (10 + id);
                         return font;
                     },
                     [](long length) { return 2 * length; }, FindImage};
}

TFontInfo OwnFont(bool underline = false) {
    TFontInfo font;
    font.size = 24;
    font.underline = underline;
    return font;
}

// Each attribute as "kind value [start,end)"; "end" for the text's end.
std::vector<std::string> Describe(PangoAttrList* list) {
    std::vector<std::string> out;
    GSList* attributes = pango_attr_list_get_attributes(list);
    for (GSList* item = attributes; item != nullptr; item = item->next) {
        auto* attribute = static_cast<PangoAttribute*>(item->data);
        std::string text;
        switch (attribute->klass->type) {
            case PANGO_ATTR_UNDERLINE:
                text = "underline";
                break;
            case PANGO_ATTR_WEIGHT:
                text = "weight " + std::to_string(reinterpret_cast<PangoAttrInt*>(attribute)->value);
                break;
            case PANGO_ATTR_FOREGROUND: {
                const PangoColor& c = reinterpret_cast<PangoAttrColor*>(attribute)->color;
                char hex[16];
                std::snprintf(hex, sizeof hex, "#%02X%02X%02X", c.red >> 8, c.green >> 8, c.blue >> 8);
                text = std::string("colour ") + hex;
                break;
            }
            case PANGO_ATTR_FONT_DESC: {
                char* desc =
                    pango_font_description_to_string(reinterpret_cast<PangoAttrFontDesc*>(attribute)->desc);
                text = std::string("font ") + desc;
                g_free(desc);
                break;
            }
            case PANGO_ATTR_SHAPE: {
                // Blank room by its size; an image by its box from the
                // baseline (ink and logical alike).
                const auto* shape = reinterpret_cast<PangoAttrShape*>(attribute);
                const PangoRectangle& box = shape->logical_rect;
                if (shape->data == nullptr) {
                    text = "room " + std::to_string(box.width / PANGO_SCALE) + "x" +
                           std::to_string(box.height / PANGO_SCALE);
                    break;
                }
                // The pattern paints the image's pixels over the box.
                const PangoRectangle& ink = shape->ink_rect;
                const bool same =
                    ink.x == box.x && ink.y == box.y && ink.width == box.width && ink.height == box.height;
                cairo_matrix_t matrix;
                cairo_pattern_get_matrix(static_cast<cairo_pattern_t*>(shape->data), &matrix);
                text = "image " + std::to_string(box.width / PANGO_SCALE) + "x" +
                       std::to_string(box.height / PANGO_SCALE) + " top " +
                       std::to_string(box.y / PANGO_SCALE) + " at " +
                       std::to_string(std::lround(1 / matrix.xx)) + "x" +
                       std::to_string(std::lround(1 / matrix.yy)) + (same ? "" : " (ink differs)");
                break;
            }
            default:
                text = "other";
        }
        const std::string end = attribute->end_index == PANGO_ATTR_INDEX_TO_TEXT_END
                                    ? "end"
                                    : std::to_string(attribute->end_index);
        out.push_back(text + " [" + std::to_string(attribute->start_index) + "," + end + ")");
    }
    g_slist_free_full(attributes, reinterpret_cast<GDestroyNotify>(pango_attribute_destroy));
    return out;
}

struct Case {
    const char* markup;
    bool html;
    bool underline;
    std::string text;
    std::vector<std::string> attributes;
};

}  // namespace

TEST(MarkupToAttributes, RunsBecomeAttributesOverTheirBytes) {
    const std::string room = "\xE2\x80\x82";  // EN SPACE
    const std::vector<Case> cases = {
        // Fonts at the window's scale, bold and colour over their runs; a
        // run in two styles gets both.
        {"Hi {f 2}big {b}bold{/b}{/f}!",
         true,
         false,
         "Hi big bold!",
         {"font F2 24px [3,7)", "font F2 24px [7,11)", "weight 700 [7,11)"}},
        {"{c #FFFF8000}orange{/c} plain", true, false, "orange plain", {"colour #FF8000 [0,6)"}},
        // Spaces and images keep their place as room: a space of its scaled
        // width, an image as wide as the label's font is high.
        {"a{x 8}b{i logo.png}c",
         true,
         false,
         "a" + room + "b" + room + "c",
         {"room 16x24 [1,4)", "room 24x24 [5,8)"}},
        {"one{n}two", true, false, "one\ntwo", {}},
        // Ranges are bytes, not characters.
        {"\xE4\xB8\xAD{b}\xE6\x96\x87{/b}x", true, false, "\xE4\xB8\xAD\xE6\x96\x87x", {"weight 700 [3,6)"}},
        // Empty runs style nothing.
        {"{b}{/b}{c #FF000000}{/c}", true, false, "", {}},
        // An underlined font underlines the whole text, markup or not.
        {"{b}x{/b}", true, true, "x", {"underline [0,end)", "weight 700 [0,1)"}},
        {"{b}x{/b}", false, true, "{b}x{/b}", {"underline [0,end)"}},
        // Without "showhtml" the text is drawn as written.
        {"{f 1}a{/f}", false, false, "{f 1}a{/f}", {}},
        {"", true, false, "", {}},
        // Broken UTF-8 becomes U+FFFD, so no run starts inside a character.
        {"\xC9{b}\x84{/b}", true, false, "\xEF\xBF\xBD\xEF\xBF\xBD", {"weight 700 [3,6)"}},
        {"a\xFF", false, false, "a\xEF\xBF\xBD", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.markup);
        const AttributedText laid = MarkupToAttributes(c.markup, c.html, OwnFont(c.underline), Scale());
        EXPECT_EQ(laid.text, c.text);
        ASSERT_NE(laid.attributes, nullptr);
        EXPECT_EQ(Describe(laid.attributes.get()), c.attributes);
    }
}

TEST(MarkupToAttributes, MalformedMarkupStaysLiteralAndEveryRangeLiesInTheText) {
    for (const char* markup :
         {"{f 99999999999}x{/f}", "{x -5}y", "{c #12}z{/c}", "{b}open", "{{b}}", "{i }{n"}) {
        SCOPED_TRACE(markup);
        const AttributedText laid = MarkupToAttributes(markup, true, OwnFont(), Scale());
        GSList* attributes = pango_attr_list_get_attributes(laid.attributes.get());
        for (GSList* item = attributes; item != nullptr; item = item->next) {
            const auto* attribute = static_cast<PangoAttribute*>(item->data);
            EXPECT_LE(attribute->start_index, attribute->end_index);
            EXPECT_LE(attribute->end_index, laid.text.size());
        }
        g_slist_free_full(attributes, reinterpret_cast<GDestroyNotify>(pango_attribute_destroy));
    }
}

namespace {

struct ImageCase {
    const char* markup;
    LineBox line;
    std::vector<std::string> attributes;
};

}  // namespace

TEST(MarkupToAttributes, AnImageBecomesAShapeOfItsSizeCentredOnTheLineOrKeepsBlankRoom) {
    const std::vector<ImageCase> cases = {
        // 10 x 6 at 200 %, on a line 20 above and 6 below the baseline: 14
        // pixels to spare, 7 above it.
        {"{i arrow.png}", {20, 6}, {"image 20x12 top -13 at 2x2"}},
        // An odd pixel to spare goes below; the line's own font by default.
        {"{i arrow.png}", {21, 6}, {"image 20x12 top -14 at 2x2"}},
        {"{i arrow.png}", {}, {"image 20x12 top -18 at 2x2"}},
        // Taller than the line: it reaches out of it by as much each way.
        {"{i tall.png}", {20, 6}, {"image 20x40 top -27 at 2x2"}},
        // The text after it follows it; fonts and spaces keep their rules.
        {"{f 5}13800138000{/f}{x 6}{i arrow.png}",
         {20, 6},
         {"font F5 30px [0,11)", "room 12x24 [11,14)", "image 20x12 top -13 at 2x2 [14,17)"}},
        // What cannot be drawn keeps the blank room of a font's height.
        {"{i missing.png}", {20, 6}, {"room 24x24"}},
        {"{i flat.png}", {20, 6}, {"room 24x24"}},
        {"{i broken.png}", {20, 6}, {"room 24x24"}},
    };
    for (const ImageCase& c : cases) {
        SCOPED_TRACE(c.markup);
        AttributedText laid = MarkupToAttributes(c.markup, true, OwnFont(), Scale(), c.line);
        // Pango lays out copies of the attributes: a copy keeps the pattern
        // when the list it came from is gone.
        gtk::PangoAttrListPtr copy(pango_attr_list_copy(laid.attributes.get()));
        laid.attributes.reset();
        std::vector<std::string> described = Describe(copy.get());
        // One shape alone: its range is the whole text.
        if (c.attributes.size() == 1 && described.size() == 1)
            described[0] = described[0].substr(0, described[0].find(" ["));
        EXPECT_EQ(described, c.attributes);
    }
    // Without a way to find images every image keeps its room.
    TextScale noImages = Scale();
    noImages.image = nullptr;
    const AttributedText laid = MarkupToAttributes("{i arrow.png}", true, OwnFont(), noImages, {20, 6});
    EXPECT_EQ(Describe(laid.attributes.get()), std::vector<std::string>{"room 24x24 [0,3)"});
}
