#pragma once
// The form post: one HTTP POST of a prepared body, the transport of the usage
// reports. The Windows client sends it through WinInet; here libcurl carries
// the same exchange: one request line, the form content type, the body bytes
// unchanged, and a single read of as many reply bytes as Content-Length
// announces.

#include <cstddef>
#include <string>
#include <string_view>

#include "net/CurlEasy.h"

// The limits of a form post unless the caller gives others: WinInet's
// connect time-out, and its receive time-out, which ends the exchange when
// the server goes silent for that long instead of holding the reporting
// thread forever. The whole exchange may take two minutes: the connect
// time-out and as long again for a report of a few kilobytes and its short
// reply, so that a server sending a byte now and then cannot hold the
// reporting thread (the update worker, or the uninstall run) either.
inline constexpr net::TransferLimits kPostFormLimits{
    std::chrono::milliseconds(60000), std::chrono::milliseconds(30000), std::chrono::milliseconds(120000)};

// Posts `length` bytes at `body` to `url` ("http://host[:port]/path[?query]")
// with the single header line "Content-Type: application/x-www-form-urlencoded".
// The connection goes to the port named in the address, 80 when none is named.
//
// Returns true when the request was sent and the server answered with a
// status line, whatever the status; the reply's content is the
// caller's to judge. Returns false for an address that cannot be split (not
// plain http, host or path longer than 259 characters), when the server cannot
// be reached, when it closes without answering, and when the reply announces
// more than `limits.reply` (16 MiB unless the caller says otherwise; `reply`
// is then left unchanged and a debugger line says why).
//
// `reply` (optional) receives the reply text when the reply announces a
// Content-Length N other than 0: the first N bytes that arrived, up to the
// first NUL, as UTF-8 (`utf8Reply`) or local code-page text, which on this
// platform is UTF-8 as well; malformed sequences become U+FFFD. Without a
// Content-Length, or with 0, `reply` is left unchanged.
//
// `limits`: the connect, silence and overall limits of the exchange and the
// reply cap. An exchange ended by a limit after the status line arrived
// still counts as sent, with what arrived of the reply.
//
// Blocks the calling thread; holds no shared state, so any thread may call it.
bool PostForm(std::string_view url, const void* body, std::size_t length, std::string* reply, bool utf8Reply,
              const net::TransferLimits& limits = kPostFormLimits);

// The leading base-10 integer of a reply text, read the way the Windows C
// run-time's text-to-integer conversion reads it: leading blanks skipped, an
// optional sign, then digits up to the first non-digit; 0 when there are no
// digits; values beyond the 32-bit range saturate.
int LeadingInteger(std::string_view text);
