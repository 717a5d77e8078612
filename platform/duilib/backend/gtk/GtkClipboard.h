#pragma once
// The desktop's clipboard (the CLIPBOARD selection) for UTF-8 text.
//
// Any thread: the toolkit's clipboard is used on the UI thread while the
// caller waits.

#include <optional>
#include <string>

namespace DuiLib {

class GtkClipboard {
  public:
    bool SetText(const std::string& text);
    // Asks the selection's owner (possibly another program) and waits for
    // its answer; empty when the clipboard holds no text.
    std::optional<std::string> GetText();
};

}  // namespace DuiLib
