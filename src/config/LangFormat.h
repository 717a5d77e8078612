#pragma once
// The stored form of a language-file stream, shared by the client's reader,
// the langpack writer, the tests and the fuzz target. Pure functions only: no
// files, no compound-file container.
//
// A stream holds UTF-16LE entries, each NUL-terminated, ended by an empty
// entry. An entry "key=value" defines one text; the bytes are scrambled with
// a word-wise XOR that reading and writing apply alike.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace lang {

// The reader takes a stream in one read into a buffer of this many bytes and
// needs two more bytes for its terminator, so a stream this long or longer is
// refused rather than cut.
constexpr std::size_t kStreamBufferBytes = 131072;

// Scrambles or unscrambles (the operation is its own inverse) a stream of n
// bytes in place: every 32-bit little-endian word at byte offset 4k with
// 4k + 4 < n is XORed with 0x5E5E, i.e. its first two bytes with 0x5E. The
// last whole word of a stream whose length is a multiple of 4, and the last
// two bytes of one that is 2 more than a multiple of 4, stay as they are;
// streams of 4 bytes or fewer are left alone. Stored files depend on exactly
// this rule.
void ToggleScramble(std::span<std::uint8_t> bytes);

// The code units of an unscrambled stream up to the terminator the reader
// puts at the byte count rounded down to even (a trailing odd byte is
// dropped). Decoded as little-endian whatever the host order.
std::u16string StreamUnits(std::span<const std::uint8_t> bytes);

struct LangEntry {
    std::u16string_view text;   // the whole entry
    std::u16string_view key;    // before the first '=' (empty when there is none)
    std::u16string_view value;  // after the first '='
    bool hasSeparator = false;  // entries without '=' define nothing
};

// Walks the entries in order and stops at the first empty one or at the end
// of `units`, whichever comes first. The views point into `units`.
std::vector<LangEntry> WalkEntries(std::u16string_view units);

// The value of the first entry whose key equals `key` exactly (code unit by
// code unit, so letter case matters), or nothing.
std::optional<std::u16string_view> FindEntry(std::u16string_view units, std::u16string_view key);

// The stored (scrambled) bytes of a stream holding "key=value" entries in the
// given order followed by the empty entry. The caller keeps keys free of '='
// and NUL and values free of NUL; the result may exceed kStreamBufferBytes,
// which the caller checks.
std::vector<std::uint8_t> EncodeStream(const std::vector<std::pair<std::u16string, std::u16string>>& entries);

}  // namespace lang
