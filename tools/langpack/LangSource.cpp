#include "LangSource.h"

#include <map>

#include "config/LangFormat.h"
#include "platform/os/Text.h"

namespace langpack {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

bool IsValidUtf8(std::string_view text) {
    // The converters replace every malformed sequence, so valid input is
    // exactly the input that survives the round trip unchanged.
    return text.find('\0') == std::string_view::npos && os::Utf16ToUtf8(os::Utf8ToUtf16(text)) == text;
}

// Decodes the escapes of a key or value; false with `error` set on a bad one.
bool Unescape(std::string_view raw, std::u16string& out, std::string& error) {
    out.clear();
    std::size_t literalStart = 0;
    std::size_t i = 0;
    while (i < raw.size()) {
        if (raw[i] != '\\') {
            ++i;
            continue;
        }
        out += os::Utf8ToUtf16(raw.substr(literalStart, i - literalStart));
        if (i + 1 >= raw.size()) {
            error = "a lone \\ at the end of the line (write \\\\)";
            return false;
        }
        const char kind = raw[i + 1];
        switch (kind) {
            case '\\':
                out += u'\\';
                break;
            case 'n':
                out += u'\n';
                break;
            case 'r':
                out += u'\r';
                break;
            case 't':
                out += u'\t';
                break;
            case 'u': {
                unsigned unit = 0;
                for (std::size_t k = 0; k < 4; ++k) {
                    const int digit = i + 2 + k < raw.size() ? os::HexDigitValue(raw[i + 2 + k]) : -1;
                    if (digit < 0) {
                        error = "\\u needs four hexadecimal digits";
                        return false;
                    }
                    unit = unit * 16 + static_cast<unsigned>(digit);
                }
                if (unit == 0) {
                    error = "\\u0000 would end the entry";
                    return false;
                }
                out += static_cast<char16_t>(unit);
                i += 4;
                break;
            }
            default:
                error =
                    std::string("unknown escape \\") + (static_cast<unsigned char>(kind) < 0x80 ? kind : '?');
                return false;
        }
        i += 2;
        literalStart = i;
    }
    out += os::Utf8ToUtf16(raw.substr(literalStart));
    return true;
}

void AppendUnit(std::string& out, char16_t unit) {
    static const char* const kHex = "0123456789ABCDEF";
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4) {
        out += kHex[(unit >> shift) & 0xF];
    }
}

}  // namespace

std::string EscapeText(std::u16string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        const bool high = c >= 0xD800 && c <= 0xDBFF;
        const bool low = c >= 0xDC00 && c <= 0xDFFF;
        if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            out += os::Utf16ToUtf8(text.substr(i, 2));
            ++i;
        } else if (high || low) {
            AppendUnit(out, c);  // half a pair has no UTF-8 form
        } else if (c == u'\\') {
            out += "\\\\";
        } else if (c == u'\n') {
            out += "\\n";
        } else if (c == u'\r') {
            out += "\\r";
        } else if (c == u'\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7F) {
            AppendUnit(out, c);
        } else {
            out += os::Utf16ToUtf8(text.substr(i, 1));
        }
    }
    return out;
}

std::string FormatEntry(std::u16string_view key, std::u16string_view value) {
    std::string escapedKey = EscapeText(key);
    // Characters that would make the line a comment or a section header, or
    // a blank the parser would refuse, are written as escapes.
    if (!escapedKey.empty() && (escapedKey.front() == '#' || escapedKey.front() == ';' ||
                                escapedKey.front() == '[' || escapedKey.front() == ' ')) {
        std::string unit;
        AppendUnit(unit, static_cast<char16_t>(escapedKey.front()));
        escapedKey.replace(0, 1, unit);
    }
    if (!escapedKey.empty() && escapedKey.back() == ' ') {
        escapedKey.replace(escapedKey.size() - 1, 1, "\\u0020");
    }
    return escapedKey + "=" + EscapeText(value);
}

std::optional<LangSource> ParseLangSource(std::string_view text, SourceError& error) {
    LangSource source;
    std::array<std::map<std::u16string, int>, kStreamNames.size()> keyLines;
    std::array<int, kStreamNames.size()> headerLines{};
    int section = -1;
    int lineNumber = 0;
    const auto fail = [&error](int line, std::string message) {
        error.line = line;
        error.message = std::move(message);
        return std::nullopt;
    };
    if (text.starts_with("\xEF\xBB\xBF")) {
        text.remove_prefix(3);
    }
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        ++lineNumber;
        if (line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        if (!IsValidUtf8(line)) {
            return fail(lineNumber, "invalid UTF-8");
        }
        if (line.find_first_not_of(" \t") == std::string_view::npos || line.front() == '#' ||
            line.front() == ';') {
            continue;
        }
        if (line.front() == '[') {
            std::string_view header = line;
            while (!header.empty() && IsBlank(header.back())) {
                header.remove_suffix(1);
            }
            if (header.size() < 2 || header.back() != ']') {
                return fail(lineNumber, "malformed section header (expected [Text] or [Message])");
            }
            const std::string_view name = header.substr(1, header.size() - 2);
            section = -1;
            for (std::size_t s = 0; s < kStreamNames.size(); ++s) {
                if (kStreamNames[s] == name) {
                    section = static_cast<int>(s);
                }
            }
            if (section < 0) {
                return fail(lineNumber,
                            "unknown section [" + std::string(name) + "] (expected [Text] or [Message])");
            }
            if (headerLines[section] == 0) {
                headerLines[section] = lineNumber;
            }
            continue;
        }
        if (section < 0) {
            return fail(lineNumber, "entry before the first section header");
        }
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos) {
            return fail(lineNumber, "missing \"=\" between key and value");
        }
        const std::string_view rawKey = line.substr(0, eq);
        if (rawKey.empty()) {
            return fail(lineNumber, "empty key");
        }
        if (IsBlank(rawKey.front()) || IsBlank(rawKey.back())) {
            return fail(lineNumber, "key begins or ends with a blank (write \\u0020 if it is meant)");
        }
        std::u16string key;
        std::u16string value;
        std::string escapeError;
        if (!Unescape(rawKey, key, escapeError) || !Unescape(line.substr(eq + 1), value, escapeError)) {
            return fail(lineNumber, escapeError);
        }
        if (key.find(u'=') != std::u16string::npos) {
            return fail(lineNumber, "key holds \"=\", which would end it early");
        }
        auto [it, inserted] = keyLines[section].emplace(key, lineNumber);
        if (!inserted) {
            return fail(lineNumber, "duplicate key \"" + os::Utf16ToUtf8(key) + "\" in [" +
                                        std::string(kStreamNames[section]) + "] (first on line " +
                                        std::to_string(it->second) + ")");
        }
        source.streams[section].emplace_back(std::move(key), std::move(value));
    }
    for (std::size_t s = 0; s < kStreamNames.size(); ++s) {
        const std::size_t stored = lang::EncodeStream(source.streams[s]).size();
        if (stored >= lang::kStreamBufferBytes) {
            return fail(headerLines[s], "section [" + std::string(kStreamNames[s]) + "] takes " +
                                            std::to_string(stored) +
                                            " bytes; the client reads streams of at most " +
                                            std::to_string(lang::kStreamBufferBytes - 1));
        }
    }
    return source;
}

}  // namespace langpack
