// Fuzzes the language-file reader: the input is taken both as the stored
// bytes of one stream (unscramble, terminate, walk the entries) and as a
// whole compound file read from memory, whose streams then go the same way.
#include <cstdint>
#include <cstdlib>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "config/CompoundFile.h"
#include "config/LangFormat.h"

namespace {

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// Walks a stream the way the client does and checks that every lookup
// agrees with the walk (the first entry with a key wins) and that the
// entries the client sees survive a re-encoding.
void WalkStream(std::vector<std::uint8_t> bytes) {
    lang::ToggleScramble(bytes);
    const std::u16string units = lang::StreamUnits(bytes);
    const std::vector<lang::LangEntry> entries = lang::WalkEntries(units);
    std::set<std::u16string_view> seen;
    std::vector<std::pair<std::u16string, std::u16string>> visible;
    for (const lang::LangEntry& entry : entries) {
        Check(!entry.text.empty() && entry.text.find(u'\0') == std::u16string_view::npos);
        if (!entry.hasSeparator) {
            continue;
        }
        Check(entry.key.find(u'=') == std::u16string_view::npos);
        const auto found = lang::FindEntry(units, entry.key);
        Check(found.has_value());
        if (seen.insert(entry.key).second) {
            Check(found->data() == entry.value.data() && found->size() == entry.value.size());
            visible.emplace_back(entry.key, entry.value);
        }
    }
    std::vector<std::uint8_t> again = lang::EncodeStream(visible);
    lang::ToggleScramble(again);
    const std::u16string againUnits = lang::StreamUnits(again);
    const std::vector<lang::LangEntry> reread = lang::WalkEntries(againUnits);
    Check(reread.size() == visible.size());
    for (std::size_t i = 0; i < reread.size(); ++i) {
        Check(reread[i].key == visible[i].first && reread[i].value == visible[i].second);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::size_t streamSize = size < lang::kStreamBufferBytes ? size : lang::kStreamBufferBytes - 1;
    WalkStream(std::vector<std::uint8_t>(data, data + streamSize));

    const std::unique_ptr<CompoundFile> file = CompoundFile::OpenMemory(std::span(data, size));
    if (file) {
        std::vector<std::string> names = file->StreamNames();
        names.insert(names.end(), {"Text", "Message"});
        for (const std::string& name : names) {
            std::vector<std::uint8_t> bytes;
            if (file->ReadStream(name, lang::kStreamBufferBytes, bytes) == CompoundFile::StreamStatus::Ok) {
                Check(!bytes.empty() && bytes.size() < lang::kStreamBufferBytes);
                WalkStream(std::move(bytes));
            }
        }
    }
    return 0;
}
