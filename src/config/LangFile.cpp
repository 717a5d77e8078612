#include "config/LangFile.h"

#include <optional>
#include <vector>

#include "config/CompoundFile.h"
#include "config/LangFormat.h"
#include "platform/os/Paths.h"
#include "platform/os/Text.h"

#ifndef VANTO_LANGUAGE_CODE_PAGE
#define VANTO_LANGUAGE_CODE_PAGE 936
#endif

const int LanguageCodePage = VANTO_LANGUAGE_CODE_PAGE;

namespace {

// The client's buffers for a text asked for by key hold 260 characters.
constexpr std::size_t kTextCapacity = 260;

std::optional<std::u16string> LookUp(const std::string& path, const std::string& streamName,
                                     std::u16string_view key) {
    const std::unique_ptr<CompoundFile> file = CompoundFile::Open(path);
    if (!file) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes;
    if (file->ReadStream(streamName, lang::kStreamBufferBytes, bytes) != CompoundFile::StreamStatus::Ok) {
        return std::nullopt;
    }
    lang::ToggleScramble(bytes);
    const std::u16string units = lang::StreamUnits(bytes);
    const std::optional<std::u16string_view> value = lang::FindEntry(units, key);
    return value ? std::optional<std::u16string>(*value) : std::nullopt;
}

void CopyCut(LPWSTR out, std::size_t capacity, std::u16string_view text) {
    if (out == nullptr || capacity == 0) {
        return;
    }
    const std::u16string_view cut = os::CutUtf16(text, capacity - 1);
    cut.copy(out, cut.size());
    out[cut.size()] = u'\0';
}

}  // namespace

std::string LangFileNameForCodePage(int codePage) {
    switch (codePage) {
        case 936:
            return "cn.dat";
        case 950:
            return "tw.dat";
        default:
            return {};
    }
}

std::string GetLangFilePath() {
    return os::GetProgramFolder() + "/language/" + LangFileNameForCodePage(LanguageCodePage);
}

bool ReadLangEntry(LPCWSTR streamName, LPCWSTR key, LPCWSTR defaultText, LPWSTR out, DWORD capacity,
                   LPCWSTR filePath) {
    std::optional<std::u16string> value;
    if (streamName != nullptr && key != nullptr && filePath != nullptr) {
        value = LookUp(os::Utf16ToUtf8(filePath), os::Utf16ToUtf8(streamName), key);
    }
    CopyCut(out, capacity, value ? std::u16string_view(*value) : defaultText ? defaultText : u"");
    return value.has_value();
}

bool ReadLangEntry(std::string_view streamName, std::string_view key, std::string_view defaultText,
                   std::string& out, std::size_t capacity, const std::string& filePath) {
    std::optional<std::u16string> value = LookUp(filePath, std::string(streamName), os::Utf8ToUtf16(key));
    const std::u16string fallback = value ? std::u16string() : os::Utf8ToUtf16(defaultText);
    out = capacity == 0 ? std::string()
                        : os::Utf16ToUtf8(os::CutUtf16(value ? *value : fallback, capacity - 1));
    return value.has_value();
}

std::string LoadLangText(std::string_view key) {
    std::string text;
    ReadLangEntry("Text", key, "", text, kTextCapacity, GetLangFilePath());
    return text;
}
