#pragma once
// A store page's request to the client, as one text on the page channel: a
// JSON object (comments allowed) whose "action" names the command, with
// "url" and "title" for a download and "id" for a document deletion.
//
// The text comes from a web page, so the reading is bounded and strict: a
// text over kMaxPageMessage bytes is not parsed at all, nesting is limited
// by the store reply reader's limit, the command name is compared exactly
// (case included), and a member of the wrong type ("url" or "title" not
// text, "id" not an integer within signed 32 bits) rejects the whole
// message rather than being guessed at. A missing "url" or "title" reads as
// empty text, a missing "id" as 0.
//
// Pure; any thread.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

enum class PageCommand {
    ShowLogin,  // "showlogin": the login dialog
    Down,       // "down": download "url", proposing "title" as the file name
    OpenDoc,    // "opendoc": recognised, and nothing is done
    DeleteDoc,  // "deletedoc": delete document "id" on the store and on disk
};

struct PageMessage {
    PageCommand command = PageCommand::OpenDoc;
    // As the page sent them, except that malformed UTF-8 (which only a
    // broken engine could hand over) becomes U+FFFD, as any text crossing
    // into the client's code page would.
    std::string url;
    std::string title;
    std::int32_t id = 0;
};

// Far beyond any real request (an address of at most 511 bytes and a
// title), small enough that a page cannot make the client parse megabytes.
inline constexpr std::size_t kMaxPageMessage = 64 * 1024;

// The message in `text`; nothing when it is rejected, with the reason in
// `reason` (for the debug line) when one is given.
std::optional<PageMessage> DecodePageMessage(std::string_view text, std::string* reason = nullptr);
