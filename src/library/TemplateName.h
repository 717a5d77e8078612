#pragma once
// What the client reads from a template's address before and after it is
// downloaded: the file name the server gives it, the store's document id
// (the part of the name before its last "_": "1234_年度报告.pptx" is
// document 1234), the kind of document (the text after the name's first
// "."), the save dialog's filter for that kind, and the name proposed to
// the user. Pure functions of their arguments; any thread.
//
// Addresses come from store pages, so they are bounded here: a page cannot
// make the client handle an address of more than kMaxAddress bytes, a file
// name of more than kMaxFileName bytes (the longest name a Linux file system
// takes), or a scheme other than http and https.

#include <optional>
#include <string>
#include <string_view>
#include <utility>

inline constexpr std::size_t kMaxTemplateAddress = 511;
inline constexpr std::size_t kMaxTemplateFileName = 255;

// The address's file name: the text after the last "/" of its path (before
// any "?"), up to the first "&" after that point. Nothing (the request is dropped) when the address
// is longer than kMaxTemplateAddress, its scheme is not http or https (ASCII
// case ignored), it holds a NUL or a control character, it has no path
// after the server ("http://host"), or the name is
// empty, "." or "..", or longer than kMaxTemplateFileName.
std::optional<std::string> TemplateFileName(std::string_view url);

// The document id text the download records are looked up with: the part of
// the file name after its last "\\" and before its last "_" (to its end when
// there is no "_").
std::string DocumentIdAtRequest(std::string_view fileName);
// The document id text a finished download is recorded under: the part of
// the file name before its last "_" (the whole name when there is none).
std::string DocumentIdAtCompletion(std::string_view fileName);

// The text after the file name's first "." (the whole name when there is
// none): "pptx" for "1234_年度报告.pptx".
std::string TemplateExtension(std::string_view fileName);

// The save dialog's filter for an extension: "pptx", "xlsx" and "docx" get
// their kind of document ("PPT文档(*.pptx)", "*.pptx;"), anything else
// "ALL Files(*.*)", "*.*;".
std::pair<std::string, std::string> SaveFilterFor(std::string_view extension);

// The file name proposed in the save dialog for a document title: the title
// without "/" (a folder separator here) and NUL, cut to 259 UTF-16 code
// units, never inside a character.
std::string ProposedSaveName(std::string_view title);
