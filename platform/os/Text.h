#pragma once
// Text conversion. The client holds text as UTF-8; the Windows design counts
// some limits in UTF-16 code units (buffers of N characters, REG_SZ bytes,
// language-file entries, version comparison), so those rules go through here.

#include <cstddef>
#include <string>
#include <string_view>

namespace os {

// UTF-8 to UTF-16. Malformed sequences become U+FFFD, never dropped silently.
std::u16string Utf8ToUtf16(std::string_view utf8);

// UTF-16 to UTF-8. Unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view utf16);

// Number of UTF-16 code units the UTF-8 text takes.
std::size_t Utf16Length(std::string_view utf8);

// The longest prefix of at most maxUnits UTF-16 code units that does not
// split a surrogate pair.
std::u16string_view CutUtf16(std::u16string_view text, std::size_t maxUnits);

// The same rule applied to UTF-8 text: the result never ends inside a
// character and never holds more than maxUnits UTF-16 code units.
std::string CutUtf8ToUtf16Units(std::string_view utf8, std::size_t maxUnits);

// Compares two texts code unit by code unit in UTF-16, as the Windows string
// comparison of version texts does (<0, 0, >0).
int CompareUtf16(std::string_view a, std::string_view b);

// Whether `text` holds an ASCII control character (below 0x20, or DEL): a
// name or address from a server or a page that holds one is refused.
bool HasControlCharacter(std::string_view text);

// The value of one hexadecimal digit, -1 when `c` is none.
int HexDigitValue(char c);

// Length of a NUL-terminated UTF-16 string.
std::size_t WideLength(const char16_t* text);

// ASCII letter case, for names the design compares without regard to case
// (header names, archive entries, value names, hosts). Only A-Z and a-z
// change; every other code unit, UTF-8 bytes of other letters included,
// stays as it is. The templates take char, char16_t and char32_t.
template <typename Char>
constexpr Char AsciiToLower(Char c) {
    return (c >= Char('A') && c <= Char('Z')) ? static_cast<Char>(c - Char('A') + Char('a')) : c;
}
template <typename Char>
constexpr Char AsciiToUpper(Char c) {
    return (c >= Char('a') && c <= Char('z')) ? static_cast<Char>(c - Char('a') + Char('A')) : c;
}
std::string AsciiLowerCopy(std::string_view text);
std::string AsciiUpperCopy(std::string_view text);
bool AsciiEqualsIgnoreCase(std::string_view a, std::string_view b);
bool AsciiStartsWithIgnoreCase(std::string_view text, std::string_view prefix);
// <0, 0, >0 comparing the texts as if both were lower case.
int AsciiCompareIgnoreCase(std::string_view a, std::string_view b);

}  // namespace os
