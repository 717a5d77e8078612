#pragma once
// The readable source of a language file, as langpack builds it and dumps it
// back. UTF-8 text, one item per line:
//
//   [Text]        the following entries go to the stream "Text"
//   [Message]     ... to the stream "Message"
//   key=value     one entry: the key is everything before the first "=", the
//                 value everything after it (it may hold more "=")
//   # or ;        a comment line; blank lines are ignored
//
// Nothing is trimmed, so a value keeps its blanks. Keys and values may use
// the escapes \\ \n \r \t and \uXXXX (one UTF-16 code unit, any value but
// 0000). A key may not be empty, hold "=", or begin or end with a blank
// (write \u0020 for a blank that is meant). A key appears once per stream. A
// trailing CR of a line (CRLF files) and a leading UTF-8 byte order mark are
// dropped.

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace langpack {

using Entries = std::vector<std::pair<std::u16string, std::u16string>>;

// The streams a language file holds, in the order langpack writes and dumps them.
inline constexpr std::array<std::string_view, 2> kStreamNames = {"Text", "Message"};

struct LangSource {
    // One list per name of kStreamNames, same order; a section the source
    // does not mention stays empty.
    std::array<Entries, kStreamNames.size()> streams;
};

struct SourceError {
    int line = 0;  // 1-based; 0 when the error concerns the whole source
    std::string message;
};

// Parses a source. On the first malformed line, fills `error` and returns
// nothing. Streams whose stored form would not fit the client's read buffer
// are refused as well.
std::optional<LangSource> ParseLangSource(std::string_view text, SourceError& error);

// An entry line as the source writes it ("key=value", escaped so that parsing
// it gives back exactly these code units; lone surrogates become \uXXXX).
std::string FormatEntry(std::u16string_view key, std::u16string_view value);

// Escapes a text for a source line (no key rules applied).
std::string EscapeText(std::u16string_view text);

}  // namespace langpack
