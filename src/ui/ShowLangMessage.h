#pragma once
// A message box whose title ("Title") and text (`key`) come from the
// "Message" stream of the language file, shown modally over `owner`.

#include "platform/duilib/UIDefine.h"

#include <string_view>

// `style` takes the message box bits (0x40 information, 0x10 error, 0x04
// yes/no); `fallback` is the text when the language file lacks `key`.
// Returns the box's answer (6 yes, 7 no or closed, 12 the left button), 0
// when the box could not be shown. UI thread.
int ShowLangMessage(std::string_view key, HWND owner, UINT style, std::string_view fallback);
