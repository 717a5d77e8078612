#pragma once
// Parsing of the texts that layouts carry (attribute values, image strings,
// the labels' inline markup) and the text measurer the layout pass uses.
// Everything here is pure and safe on any input: malformed text gives a best
// effort result, never a crash or an endless loop.

#include "platform/duilib/UIDefine.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace DuiLib {

struct TFontInfo;

// ---- attribute values ----------------------------------------------------------
// "l,t,r,b" (spaces allowed). Empty when the text is not four integers.
std::optional<RECT> ParseRect(std::string_view text);
// "cx,cy".
std::optional<SIZE> ParseSize(std::string_view text);
// A decimal integer with optional sign and surrounding spaces.
std::optional<int> ParseInt(std::string_view text);
// "true"/"false" (any case), also "1"/"0".
std::optional<bool> ParseBool(std::string_view text);
// "#AARRGGBB", "#RRGGBB" (opaque), "0xAARRGGBB" or a plain hexadecimal number.
std::optional<DWORD> ParseColor(std::string_view text);
// The DrawText style (the DT_ flags of UIControl.h) that a layout's "align"
// value ("center", "right", else left) or "valign" value ("center" or
// "vcenter", "bottom", else top) makes of `style`; the other flags stay.
UINT ParseAlign(std::string_view value, UINT style);
UINT ParseVAlign(std::string_view value, UINT style);
// Splits an attribute list ("name=\"value\" other='v'") into pairs. Stops
// at the first malformed pair; what came before it is kept.
std::vector<std::pair<std::string, std::string>> ParseAttributeList(std::string_view list);

// ---- image strings ----------------------------------------------------------------
struct TImageInfo {
    std::string file;
    std::string resType;  // "fullpath": a path on disk, not in the archive
    RECT source;
    RECT dest;
    RECT corner;
    bool hasSource = false;
    bool hasDest = false;
    int fade = 255;
    DWORD mask = 0;
    bool hole = false;
    bool xTiled = false;
    bool yTiled = false;
};
// Either a plain file name or "file='a.png' source='0,0,10,10' ...". An
// unterminated quote takes the rest of the text; unknown keys are ignored.
TImageInfo ParseImageString(std::string_view text);

// ---- inline markup of labels ---------------------------------------------------
// {f N}..{/f} font, {x N} space, {i image} image, {b}..{/b} bold,
// {c #AARRGGBB}..{/c} colour, {n} new line; anything else is literal text.
struct TMarkupRun {
    enum class Kind { Text, Space, Image, NewLine };
    Kind kind = Kind::Text;
    std::string text;  // Text: the characters; Image: the image string
    int font = -1;     // -1: the label's own font
    bool bold = false;
    std::optional<DWORD> color;
    int space = 0;  // Space: pixels
};
std::vector<TMarkupRun> ParseMarkup(std::string_view text);
// The text without its markup (what a reader sees).
std::string MarkupPlainText(std::string_view text);

// ---- measuring ---------------------------------------------------------------------
// The size of one line of text in a font. The built-in metric is the
// headless one: every character below U+0800 is half the font size wide,
// every other character (CJK, emoji) the full size; the height is the font
// size plus a quarter. A back end installs its own measurer.
using TextMeasurer = std::function<SIZE(const TFontInfo& font, std::string_view text)>;
// May run on any thread, as may SetTextMeasurer.
SIZE MeasureText(const TFontInfo& font, std::string_view text);
// Installs a measurer (empty: the built-in one again); returns the old one.
TextMeasurer SetTextMeasurer(TextMeasurer measurer);
// The size of marked-up text, fonts looked up through `fontOf` (id -> font).
SIZE MeasureMarkup(const std::function<const TFontInfo&(int)>& fontOf, int ownFont, std::string_view text);

// ---- file names in the skin archive ----------------------------------------
// '\\' becomes '/', "." and empty segments go, ".." removes the segment
// before it (never climbing above the root), ASCII letters are lowered
// unless `keepCase` (for names on disk, resolved case-insensitively later).
std::string NormalizeResourceName(std::string_view name, bool keepCase = false);

}  // namespace DuiLib
