#pragma once
// Localised texts. The texts the client shows by key (message boxes, a few
// labels and captions) live in a language file beside the program,
// <program folder>/language/cn.dat (or tw.dat): an OLE compound file whose
// root streams "Text" and "Message" hold scrambled UTF-16LE "key=value"
// entries (see LangFormat.h). Nothing is cached: every lookup opens the file,
// reads one stream and closes it, so an edited file takes effect at once.
// Lookups are safe from any thread.

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/os/WinTypes.h"

// The build's language code page (CMake cache variable
// VANTO_LANGUAGE_CODE_PAGE, default 936); nothing changes it at run time.
extern const int LanguageCodePage;

// The language file's name for a code page: 936 "cn.dat" (simplified
// Chinese), 950 "tw.dat" (traditional Chinese), anything else "" (no file).
std::string LangFileNameForCodePage(int codePage);

// Program folder + "/language/" + the file name of LanguageCodePage. With no
// file name the path names the folder itself, so every lookup gives its
// default.
std::string GetLangFilePath();

// Looks up `key` in the stream `streamName` of the language file `filePath`.
// Found: copies its value to `out` and returns true. Otherwise (no file, not a
// compound file, no such stream, an empty or oversized stream, no such key)
// copies `defaultText` (null counts as empty) and returns false. Either text
// is cut to capacity - 1 UTF-16 code units and NUL-terminated; when that cut
// would fall between the two halves of a surrogate pair, the whole pair is
// left out, so the buffer never ends in half a character. Nothing is written
// when `out` is null or `capacity` is 0.
bool ReadLangEntry(LPCWSTR streamName, LPCWSTR key, LPCWSTR defaultText, LPWSTR out, DWORD capacity,
                   LPCWSTR filePath);

// The same lookup on UTF-8 texts; `capacity` still counts UTF-16 code units
// including the terminator, so the result holds at most capacity - 1 of them.
bool ReadLangEntry(std::string_view streamName, std::string_view key, std::string_view defaultText,
                   std::string& out, std::size_t capacity, const std::string& filePath);

// The text `key` of the "Text" stream of the build's language file (at most
// 259 UTF-16 code units, as the client's 260-character buffers hold), empty
// when missing.
std::string LoadLangText(std::string_view key);
