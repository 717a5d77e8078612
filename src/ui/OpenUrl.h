#pragma once
// Opens an address or a file the way the client does everywhere (about box,
// main window, login dialog): the shell's "open", and when the shell cannot
// start its opener, the fallback browser with the address as its argument.

#include "platform/duilib/UIDefine.h"

#include <string_view>

// True when the opener or a browser was started. UTF-8 address. Any thread.
bool OpenUrl(HWND owner, std::string_view address);
