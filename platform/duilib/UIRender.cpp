#include "platform/duilib/UIRender.h"

#include "platform/duilib/UIControl.h"
#include "platform/duilib/UIManager.h"
#include "platform/os/Text.h"

#include <charconv>
#include <cstdint>
#include <mutex>

namespace DuiLib {
namespace {

std::string_view Trim(std::string_view text) {
    while (!text.empty() &&
           (text.front() == ' ' || text.front() == '\t' || text.front() == '\r' || text.front() == '\n'))
        text.remove_prefix(1);
    while (!text.empty() &&
           (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' || text.back() == '\n'))
        text.remove_suffix(1);
    return text;
}

std::vector<std::string_view> SplitComma(std::string_view text) {
    std::vector<std::string_view> parts;
    while (true) {
        const std::size_t comma = text.find(',');
        parts.push_back(Trim(text.substr(0, comma)));
        if (comma == std::string_view::npos)
            break;
        text.remove_prefix(comma + 1);
    }
    return parts;
}

std::mutex g_measurerMutex;
TextMeasurer g_measurer;

SIZE BuiltInMeasure(const TFontInfo& font, std::string_view text) {
    const long size = font.size > 0 ? font.size : 12;
    long width = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if ((byte & 0xC0) == 0x80)
            continue;  // continuation byte: counted with its lead byte
        // Lead bytes of U+0800 and above (three and four byte sequences)
        // are the wide characters.
        width += byte >= 0xE0 ? size : size / 2;
        if (font.bold && byte < 0x80)
            width += 1;
    }
    return SIZE{width, size + size / 4};
}

}  // namespace

std::optional<int> ParseInt(std::string_view text) {
    text = Trim(text);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return value;
}

std::optional<RECT> ParseRect(std::string_view text) {
    const auto parts = SplitComma(text);
    if (parts.size() != 4)
        return std::nullopt;
    long values[4];
    for (int i = 0; i < 4; ++i) {
        const auto value = ParseInt(parts[i]);
        if (!value)
            return std::nullopt;
        values[i] = *value;
    }
    return RECT{values[0], values[1], values[2], values[3]};
}

std::optional<SIZE> ParseSize(std::string_view text) {
    const auto parts = SplitComma(text);
    if (parts.size() != 2)
        return std::nullopt;
    const auto cx = ParseInt(parts[0]);
    const auto cy = ParseInt(parts[1]);
    if (!cx || !cy)
        return std::nullopt;
    return SIZE{*cx, *cy};
}

std::optional<bool> ParseBool(std::string_view text) {
    text = Trim(text);
    if (os::AsciiEqualsIgnoreCase(text, "true") || text == "1")
        return true;
    if (os::AsciiEqualsIgnoreCase(text, "false") || text == "0")
        return false;
    return std::nullopt;
}

std::optional<DWORD> ParseColor(std::string_view text) {
    text = Trim(text);
    bool fromHash = false;
    if (!text.empty() && text.front() == '#') {
        text.remove_prefix(1);
        fromHash = true;
    } else if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
    }
    if (text.empty() || text.size() > 8)
        return std::nullopt;
    std::uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    // "#RRGGBB" names an opaque colour.
    if (fromHash && text.size() == 6)
        value |= 0xFF000000u;
    return static_cast<DWORD>(value);
}

UINT ParseAlign(std::string_view value, UINT style) {
    style &= ~(DT_CENTER | DT_RIGHT);
    if (value.find("center") != std::string_view::npos)
        style |= DT_CENTER;
    else if (value.find("right") != std::string_view::npos)
        style |= DT_RIGHT;
    return style;
}

UINT ParseVAlign(std::string_view value, UINT style) {
    style &= ~(DT_VCENTER | DT_BOTTOM);
    // "vcenter" holds "center".
    if (value.find("center") != std::string_view::npos)
        style |= DT_VCENTER;
    else if (value.find("bottom") != std::string_view::npos)
        style |= DT_BOTTOM;
    return style;
}

std::vector<std::pair<std::string, std::string>> ParseAttributeList(std::string_view list) {
    std::vector<std::pair<std::string, std::string>> pairs;
    std::size_t i = 0;
    while (true) {
        while (i < list.size() && (list[i] == ' ' || list[i] == '\t' || list[i] == '\r' || list[i] == '\n'))
            ++i;
        if (i >= list.size())
            break;
        const std::size_t nameStart = i;
        while (i < list.size() && list[i] != '=' && list[i] != ' ' && list[i] != '\t')
            ++i;
        const std::string_view name = list.substr(nameStart, i - nameStart);
        while (i < list.size() && (list[i] == ' ' || list[i] == '\t'))
            ++i;
        if (name.empty() || i >= list.size() || list[i] != '=')
            break;
        ++i;
        while (i < list.size() && (list[i] == ' ' || list[i] == '\t'))
            ++i;
        if (i >= list.size() || (list[i] != '"' && list[i] != '\''))
            break;
        const char quote = list[i++];
        const std::size_t close = list.find(quote, i);
        if (close == std::string_view::npos)
            break;
        pairs.emplace_back(std::string(name), std::string(list.substr(i, close - i)));
        i = close + 1;
    }
    return pairs;
}

TImageInfo ParseImageString(std::string_view text) {
    TImageInfo info;
    const std::string_view trimmed = Trim(text);
    // A plain file name has no key='value' pair in it.
    if (trimmed.find('=') == std::string_view::npos || trimmed.find('\'') == std::string_view::npos) {
        info.file = std::string(trimmed);
        return info;
    }
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r' || text[i] == '\n'))
            ++i;
        const std::size_t keyStart = i;
        while (i < text.size() && text[i] != '=' && text[i] != ' ')
            ++i;
        const std::string_view key = text.substr(keyStart, i - keyStart);
        while (i < text.size() && text[i] == ' ')
            ++i;
        if (i >= text.size() || text[i] != '=') {
            if (i < text.size())
                ++i;  // a stray word: skip a character so the scan always advances
            continue;
        }
        ++i;
        while (i < text.size() && text[i] == ' ')
            ++i;
        std::string_view value;
        if (i < text.size() && (text[i] == '\'' || text[i] == '"')) {
            const char quote = text[i++];
            std::size_t close = text.find(quote, i);
            if (close == std::string_view::npos)
                close = text.size();
            value = text.substr(i, close - i);
            i = close + 1;
        } else {
            const std::size_t start = i;
            while (i < text.size() && text[i] != ' ')
                ++i;
            value = text.substr(start, i - start);
        }
        if (key == "file") {
            info.file = std::string(value);
        } else if (key == "restype") {
            info.resType = std::string(value);
        } else if (key == "source") {
            if (auto rc = ParseRect(value)) {
                info.source = *rc;
                info.hasSource = true;
            }
        } else if (key == "dest") {
            if (auto rc = ParseRect(value)) {
                info.dest = *rc;
                info.hasDest = true;
            }
        } else if (key == "corner") {
            if (auto rc = ParseRect(value))
                info.corner = *rc;
        } else if (key == "fade") {
            if (auto fade = ParseInt(value); fade && *fade >= 0 && *fade <= 255)
                info.fade = *fade;
        } else if (key == "mask") {
            if (auto mask = ParseColor(value))
                info.mask = *mask;
        } else if (key == "hole") {
            info.hole = ParseBool(value).value_or(false);
        } else if (key == "xtiled") {
            info.xTiled = ParseBool(value).value_or(false);
        } else if (key == "ytiled") {
            info.yTiled = ParseBool(value).value_or(false);
        }
    }
    return info;
}

namespace {

// One pass over a label's markup: the tags open (fonts, colours, bold) and
// the text not yet given out as a run.
class MarkupParser {
  public:
    std::vector<TMarkupRun> Parse(std::string_view text) {
        // The next '}' after the current '{', found once for every '{'
        // before it, so that a text of many '{' is read in linear time.
        std::size_t close = 0;
        std::size_t i = 0;
        while (i < text.size()) {
            if (text[i] == '{' && close != std::string_view::npos && close <= i)
                close = text.find('}', i + 1);
            // Text, an unterminated '{' or an unknown tag's '{' is literal.
            if (text[i] != '{' || close == std::string_view::npos ||
                !Tag(text.substr(i + 1, close - i - 1))) {
                m_pending += text[i++];
                continue;
            }
            i = close + 1;
        }
        Flush();
        return std::move(m_runs);
    }

  private:
    // Gives out the pending text as a run in the open styles.
    void Flush() {
        if (m_pending.empty())
            return;
        TMarkupRun run;
        run.text = std::move(m_pending);
        run.font = m_fonts.empty() ? -1 : m_fonts.back();
        run.bold = m_boldDepth > 0;
        if (!m_colors.empty())
            run.color = m_colors.back();
        m_runs.push_back(std::move(run));
        m_pending.clear();
    }

    void Emit(TMarkupRun::Kind kind, std::string_view text = {}, int space = 0) {
        Flush();
        TMarkupRun run;
        run.kind = kind;
        run.text = std::string(text);
        run.space = space;
        m_runs.push_back(std::move(run));
    }

    // Applies a known tag (what lies between '{' and '}'); false for any
    // other, and for a closing tag with nothing open.
    bool Tag(std::string_view tag) {
        const std::string_view arg = tag.size() > 2 ? Trim(tag.substr(2)) : std::string_view{};
        const char kind = tag.size() > 2 && tag[1] == ' ' ? tag[0] : '\0';
        if (tag == "b" || (tag == "/b" && m_boldDepth > 0)) {
            Flush();
            m_boldDepth += tag == "b" ? 1 : -1;
        } else if ((tag == "/f" && !m_fonts.empty()) || (tag == "/c" && !m_colors.empty())) {
            Flush();
            if (tag == "/f")
                m_fonts.pop_back();
            else
                m_colors.pop_back();
        } else if (tag == "n") {
            Emit(TMarkupRun::Kind::NewLine);
        } else if (kind == 'f' && ParseInt(arg)) {
            Flush();
            m_fonts.push_back(*ParseInt(arg));
        } else if (kind == 'x' && ParseInt(arg)) {
            Emit(TMarkupRun::Kind::Space, {}, *ParseInt(arg));
        } else if (kind == 'c' && ParseColor(arg)) {
            Flush();
            m_colors.push_back(*ParseColor(arg));
        } else if (kind == 'i' && !arg.empty()) {
            Emit(TMarkupRun::Kind::Image, arg);
        } else {
            return false;
        }
        return true;
    }

    std::vector<TMarkupRun> m_runs;
    std::vector<int> m_fonts;
    std::vector<DWORD> m_colors;
    int m_boldDepth = 0;
    std::string m_pending;
};

}  // namespace

std::vector<TMarkupRun> ParseMarkup(std::string_view text) {
    return MarkupParser().Parse(text);
}

std::string MarkupPlainText(std::string_view text) {
    std::string plain;
    for (const TMarkupRun& run : ParseMarkup(text)) {
        if (run.kind == TMarkupRun::Kind::Text)
            plain += run.text;
        else if (run.kind == TMarkupRun::Kind::NewLine)
            plain += '\n';
    }
    return plain;
}

SIZE MeasureText(const TFontInfo& font, std::string_view text) {
    TextMeasurer measurer;
    {
        std::lock_guard lock(g_measurerMutex);
        measurer = g_measurer;
    }
    return measurer ? measurer(font, text) : BuiltInMeasure(font, text);
}

TextMeasurer SetTextMeasurer(TextMeasurer measurer) {
    std::lock_guard lock(g_measurerMutex);
    TextMeasurer old = std::move(g_measurer);
    g_measurer = std::move(measurer);
    return old;
}

SIZE MeasureMarkup(const std::function<const TFontInfo&(int)>& fontOf, int ownFont, std::string_view text) {
    long width = 0;
    long lineWidth = 0;
    long lineHeight = 0;
    long height = 0;
    const long ownHeight = MeasureText(fontOf(ownFont), "").cy;
    for (const TMarkupRun& run : ParseMarkup(text)) {
        switch (run.kind) {
            case TMarkupRun::Kind::Text: {
                TFontInfo font = fontOf(run.font >= 0 ? run.font : ownFont);
                font.bold = font.bold || run.bold;
                const SIZE size = MeasureText(font, run.text);
                lineWidth += size.cx;
                lineHeight = std::max(lineHeight, size.cy);
                break;
            }
            case TMarkupRun::Kind::Space:
                lineWidth += std::max(0, run.space);
                break;
            case TMarkupRun::Kind::Image:
                // Images are drawn at the line's height, square.
                lineWidth += ownHeight;
                lineHeight = std::max(lineHeight, ownHeight);
                break;
            case TMarkupRun::Kind::NewLine:
                width = std::max(width, lineWidth);
                height += lineHeight > 0 ? lineHeight : ownHeight;
                lineWidth = 0;
                lineHeight = 0;
                break;
        }
    }
    width = std::max(width, lineWidth);
    height += lineHeight > 0 ? lineHeight : ownHeight;
    return SIZE{width, height};
}

std::string NormalizeResourceName(std::string_view name, bool keepCase) {
    std::vector<std::string> segments;
    std::string segment;
    auto endSegment = [&] {
        if (segment.empty() || segment == ".") {
        } else if (segment == "..") {
            if (!segments.empty())
                segments.pop_back();
        } else {
            segments.push_back(segment);
        }
        segment.clear();
    };
    for (char c : name) {
        if (c == '/' || c == '\\')
            endSegment();
        else
            segment += keepCase ? c : os::AsciiToLower(c);
    }
    endSegment();
    std::string result;
    for (const std::string& part : segments) {
        if (!result.empty())
            result += '/';
        result += part;
    }
    return result;
}

}  // namespace DuiLib
