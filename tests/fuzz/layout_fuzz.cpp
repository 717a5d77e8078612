// Fuzzes the layout side of the UI library. The first byte picks the mode:
//   0: the rest is layout XML, built with a window's manager, attached,
//      laid out and searched for its images;
//   1: the rest is a resource archive put in force; its well-known layout
//      names are read and built (so includes inside it are followed);
//   2: the rest is a text for the small parsers (markup, image strings,
//      attribute lists, attribute values, resource names).
// Nothing may crash, hang or leak.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "platform/duilib/UIContainer.h"
#include "platform/duilib/UIDlgBuilder.h"
#include "platform/duilib/UIManager.h"
#include "platform/duilib/UIRender.h"

using namespace DuiLib;

namespace {

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

void BuildAndLayOut(std::string_view xml) {
    CPaintManagerUI manager;
    CDialogBuilder builder;
    CControlUI* root = builder.Create(xml, {}, nullptr, &manager);
    if (root == nullptr) {
        return;
    }
    Check(manager.AttachDialog(root));
    manager.UpdateLayout(RECT{0, 0, 800, 600});
    root->ForEach([&](CControlUI* control) {
        const RECT& rc = control->GetPos();
        Check(rc.right >= rc.left && rc.bottom >= rc.top);
        if (!control->GetName().empty()) {
            Check(manager.FindControl(control->GetName()) != nullptr);
        }
        control->Activate();
    });
    CDialogBuilder::FindMissingImages(root, &manager);
}

void ParseText(std::string_view text) {
    const std::string plain = MarkupPlainText(text);
    Check(plain.size() <= text.size());
    ParseImageString(text);
    ParseAttributeList(text);
    ParseRect(text);
    ParseColor(text);
    const std::string name = NormalizeResourceName(text);
    // A normalised name never climbs out of the root.
    Check(name != ".." && name.rfind("../", 0) != 0 && name.find("/../") == std::string::npos &&
          !name.ends_with("/..") && (name.empty() || name.front() != '/'));
    TFontInfo font;
    MeasureMarkup([&font](int) -> const TFontInfo& { return font; }, -1, text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    switch (data[0] % 3) {
        case 0:
            // Literal XML must start with '<' to be taken as text, not a name.
            BuildAndLayOut(!rest.empty() && rest.front() == '<' ? rest
                                                                : std::string("<") + std::string(rest));
            break;
        case 1: {
            const std::string bytes(rest);
            if (CPaintManagerUI::SetResourceZip(bytes.data(), bytes.size())) {
                for (const char* name : {"main.xml", "a.xml", "skin/dlg.xml"}) {
                    CPaintManagerUI::LoadResourceFile(name);
                    BuildAndLayOut(name);
                }
            }
            CPaintManagerUI::SetResourceZip(nullptr, 0);
            break;
        }
        default:
            ParseText(rest);
            break;
    }
    return 0;
}
