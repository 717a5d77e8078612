#pragma once
// What the login dialog accepts before a text goes into a store address or
// into the session: the fields' own limits (digits only, at most so many)
// keep a typist in line, but not every way text reaches an edit (an input
// method's commit, a skin without the limits), so the dialog checks again.
// Pure functions, any thread.

#include <string>
#include <string_view>

// Exactly 11 ASCII digits.
bool IsMobileNumber(std::string_view text);

// One or more ASCII digits.
bool IsVerificationCode(std::string_view text);

// An account token the client can carry: not empty, well-formed UTF-8, and
// without control characters (C0, DEL, C1) or blanks (any Unicode space,
// the zero-width ones and the byte order mark). The token goes into a
// request header, an address and the registry; a token that would end a
// header line or an address early is no login at all.
bool IsUsableAccountToken(std::string_view token);

// The countdown text: `format` (a language-file text) with its first "%d"
// replaced by `seconds` and "%%" read as "%". Any other "%" is kept as it
// is: the text is never handed to a printf-style formatter.
std::string FormatCountdownText(std::string_view format, int seconds);
