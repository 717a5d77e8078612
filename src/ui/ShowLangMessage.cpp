#include "ui/ShowLangMessage.h"

#include "config/LangFile.h"
#include "ui/MessageDlg.h"

#include <memory>
#include <string>

namespace {

constexpr const char* kStream = "Message";
// The client's text buffers hold 260 UTF-16 units with the terminator.
constexpr std::size_t kTextCapacity = 260;
constexpr DWORD kBoxStyle = 0x96C80000;

}  // namespace

int ShowLangMessage(std::string_view key, HWND owner, UINT style, std::string_view fallback) {
    const std::string file = GetLangFilePath();
    std::string title;
    std::string text;
    ReadLangEntry(kStream, "Title", "", title, kTextCapacity, file);
    ReadLangEntry(kStream, key, "", text, kTextCapacity, file);
    // An empty entry counts as missing for the text (not for the title).
    if (text.empty())
        text = fallback;

    auto box = std::make_unique<CMessageDlg>(text, title, style, false);
    if (box->Create(owner, "", kBoxStyle, 0, 0, 0, 0, 0) == nullptr)
        return 0;
    box->CenterWindow();
    box->ShowModal();
    return box->Result();
}
