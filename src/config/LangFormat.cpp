#include "config/LangFormat.h"

namespace lang {

void ToggleScramble(std::span<std::uint8_t> bytes) {
    const std::size_t n = bytes.size();
    // Only the low half of the 32-bit mask is set, so a word's two high bytes
    // never change.
    for (std::size_t offset = 0; offset + 4 < n; offset += 4) {
        bytes[offset] ^= 0x5E;
        bytes[offset + 1] ^= 0x5E;
    }
}

std::u16string StreamUnits(std::span<const std::uint8_t> bytes) {
    const std::size_t count = bytes.size() / 2;
    std::u16string units(count, u'\0');
    for (std::size_t i = 0; i < count; ++i) {
        units[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    }
    return units;
}

std::vector<LangEntry> WalkEntries(std::u16string_view units) {
    std::vector<LangEntry> entries;
    std::size_t pos = 0;
    while (pos < units.size()) {
        std::size_t end = units.find(u'\0', pos);
        if (end == std::u16string_view::npos) {
            end = units.size();  // the reader's terminator sits right after the data
        }
        if (end == pos) {
            break;  // the empty entry ends the list
        }
        LangEntry entry;
        entry.text = units.substr(pos, end - pos);
        const std::size_t eq = entry.text.find(u'=');
        if (eq != std::u16string_view::npos) {
            entry.hasSeparator = true;
            entry.key = entry.text.substr(0, eq);
            entry.value = entry.text.substr(eq + 1);
        }
        entries.push_back(entry);
        pos = end + 1;
    }
    return entries;
}

std::optional<std::u16string_view> FindEntry(std::u16string_view units, std::u16string_view key) {
    for (const LangEntry& entry : WalkEntries(units)) {
        if (entry.hasSeparator && entry.key == key) {
            return entry.value;  // the first match wins
        }
    }
    return std::nullopt;
}

std::vector<std::uint8_t> EncodeStream(
    const std::vector<std::pair<std::u16string, std::u16string>>& entries) {
    std::vector<std::uint8_t> bytes;
    const auto put = [&bytes](char16_t unit) {
        bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    };
    for (const auto& [key, value] : entries) {
        for (const char16_t c : key) {
            put(c);
        }
        put(u'=');
        for (const char16_t c : value) {
            put(c);
        }
        put(u'\0');
    }
    put(u'\0');
    ToggleScramble(bytes);
    return bytes;
}

}  // namespace lang
