#include "platform/duilib/UIDlgBuilder.h"

#include "platform/duilib/UIButton.h"
#include "platform/duilib/UIContainer.h"
#include "platform/duilib/UIEdit.h"
#include "platform/duilib/UILabel.h"
#include "platform/duilib/UIList.h"
#include "platform/duilib/UIManager.h"
#include "platform/duilib/UIMenuUI.h"
#include "platform/duilib/UIOption.h"
#include "platform/duilib/UIPicture.h"
#include "platform/duilib/UIProgress.h"
#include "platform/duilib/UIRender.h"
#include "platform/duilib/UIWkeWebkit.h"
#include "platform/os/DebugPrint.h"
#include "platform/os/Paths.h"
#include "platform/os/Text.h"

#include <pugixml.hpp>

#include <map>
#include <mutex>
#include <set>

namespace DuiLib {
namespace {

// Reports an unknown element or attribute name once per process, so a typo
// in a layout shows up without flooding the output.
void ReportUnknownOnce(const char* what, std::string_view name) {
    static std::mutex mutex;
    static std::set<std::string, std::less<>> reported;
    std::string key = std::string(what) + ":" + std::string(name);
    {
        std::lock_guard lock(mutex);
        if (!reported.insert(key).second)
            return;
    }
    DebugPrint("layout: unknown %s '%.*s'", what, static_cast<int>(name.size()), name.data());
}

bool IsKnownAttribute(std::string_view name) {
    static const std::set<std::string_view> known = {"name",
                                                     "text",
                                                     "tooltip",
                                                     "visible",
                                                     "enabled",
                                                     "width",
                                                     "height",
                                                     "minwidth",
                                                     "minheight",
                                                     "padding",
                                                     "float",
                                                     "pos",
                                                     "userdata",
                                                     "bkimage",
                                                     "bkcolor",
                                                     "bordersize",
                                                     "bordercolor",
                                                     "focusbordercolor",
                                                     "font",
                                                     "textcolor",
                                                     "disabledtextcolor",
                                                     "align",
                                                     "valign",
                                                     "showhtml",
                                                     "textpadding",
                                                     "autocalcwidth",
                                                     "endellipsis",
                                                     "multiline",
                                                     "normalimage",
                                                     "hotimage",
                                                     "pushedimage",
                                                     "pushimage",
                                                     "disabledimage",
                                                     "focusedimage",
                                                     "hottextcolor",
                                                     "pushedtextcolor",
                                                     "group",
                                                     "selected",
                                                     "selectedimage",
                                                     "selectedhotimage",
                                                     "selectedtextcolor",
                                                     "maxchar",
                                                     "numberonly",
                                                     "readonly",
                                                     "password",
                                                     "tipvalue",
                                                     "min",
                                                     "max",
                                                     "value",
                                                     "hor",
                                                     "foreimage",
                                                     "bitmap",
                                                     "image",
                                                     "inset",
                                                     "childpadding",
                                                     "selectedid",
                                                     "url"};
    return known.count(name) != 0;
}

bool IsKnownWindowAttribute(std::string_view name) {
    static const std::set<std::string_view> known = {
        "size",       "caption",    "roundcorner", "mininfo",        "maxinfo",       "sizebox",
        "showshadow", "shadowsize", "shadowimage", "accessiblename", "accessiblerole"};
    return known.count(name) != 0;
}

std::optional<std::string> ReadLayout(std::string_view xml) {
    std::size_t start = 0;
    // A UTF-8 byte order mark and white space may precede literal XML.
    if (xml.substr(0, 3) == "\xEF\xBB\xBF")
        start = 3;
    while (start < xml.size() &&
           (xml[start] == ' ' || xml[start] == '\t' || xml[start] == '\r' || xml[start] == '\n'))
        ++start;
    if (start < xml.size() && xml[start] == '<')
        return std::string(xml);
    return CPaintManagerUI::LoadResourceFile(xml);
}

}  // namespace

struct CDialogBuilder::BuildState {
    IDialogBuilderCallback* callback = nullptr;
    CPaintManagerUI* manager = nullptr;
    std::map<std::string, std::string> defaults;  // class (lower case) -> attribute list
    int elements = 0;
    int nextFontId = 0;
    bool aborted = false;

    std::string DefaultsFor(std::string_view className) const {
        if (manager != nullptr)
            return manager->GetDefaultAttributeList(className);
        const auto it = defaults.find(os::AsciiLowerCopy(className));
        return it == defaults.end() ? std::string() : it->second;
    }

    // Builds `node` (a control element or an Include) into `parent`, or
    // into `tops` when there is no parent yet. False once a limit is hit.
    bool BuildElement(const pugi::xml_node& node, CContainerUI* parent,
                      std::vector<std::unique_ptr<CControlUI>>* tops, int depth, int includeDepth);
    // The children of a <Window> (or of a control-less included file).
    bool BuildWindowChildren(const pugi::xml_node& window, CContainerUI* parent,
                             std::vector<std::unique_ptr<CControlUI>>* tops, int depth, int includeDepth);
    bool BuildDocument(const std::string& text, CContainerUI* parent,
                       std::vector<std::unique_ptr<CControlUI>>* tops, int depth, int includeDepth);
    void AddFont(const pugi::xml_node& node);
};

void CDialogBuilder::BuildState::AddFont(const pugi::xml_node& node) {
    TFontInfo font;
    font.id = node.attribute("id") ? ParseInt(node.attribute("id").value()).value_or(nextFontId) : nextFontId;
    nextFontId = std::max(nextFontId, font.id + 1);
    font.name = node.attribute("name").value();
    if (auto size = ParseInt(node.attribute("size").value()); size && *size > 0)
        font.size = *size;
    font.bold = ParseBool(node.attribute("bold").value()).value_or(false);
    font.underline = ParseBool(node.attribute("underline").value()).value_or(false);
    font.italic = ParseBool(node.attribute("italic").value()).value_or(false);
    font.isDefault = ParseBool(node.attribute("default").value()).value_or(false);
    if (manager != nullptr)
        manager->AddFont(font);
}

bool CDialogBuilder::BuildState::BuildWindowChildren(const pugi::xml_node& window, CContainerUI* parent,
                                                     std::vector<std::unique_ptr<CControlUI>>* tops,
                                                     int depth, int includeDepth) {
    for (const pugi::xml_node& child : window.children()) {
        if (child.type() != pugi::node_element)
            continue;
        const std::string_view name = child.name();
        if (name == "Font") {
            AddFont(child);
        } else if (name == "Default") {
            const std::string_view cls = child.attribute("name").value();
            const std::string_view list = child.attribute("value").value();
            if (!cls.empty()) {
                defaults.insert_or_assign(os::AsciiLowerCopy(cls), std::string(list));
                if (manager != nullptr)
                    manager->AddDefaultAttributeList(cls, list);
            }
        } else if (!BuildElement(child, parent, tops, depth + 1, includeDepth)) {
            return false;
        }
    }
    return true;
}

bool CDialogBuilder::BuildState::BuildDocument(const std::string& text, CContainerUI* parent,
                                               std::vector<std::unique_ptr<CControlUI>>* tops, int depth,
                                               int includeDepth) {
    pugi::xml_document doc;
    if (!doc.load_buffer(text.data(), text.size(), pugi::parse_default, pugi::encoding_auto))
        return true;  // an unreadable include adds nothing
    const pugi::xml_node root = doc.document_element();
    if (!root)
        return true;
    if (std::string_view(root.name()) == "Window") {
        for (const pugi::xml_attribute& attr : root.attributes()) {
            if (!IsKnownWindowAttribute(attr.name()))
                ReportUnknownOnce("window attribute", attr.name());
            if (manager != nullptr)
                manager->SetWindowAttribute(attr.name(), attr.value());
        }
        return BuildWindowChildren(root, parent, tops, depth, includeDepth);
    }
    return BuildElement(root, parent, tops, depth, includeDepth);
}

bool CDialogBuilder::BuildState::BuildElement(const pugi::xml_node& node, CContainerUI* parent,
                                              std::vector<std::unique_ptr<CControlUI>>* tops, int depth,
                                              int includeDepth) {
    if (node.type() != pugi::node_element)
        return true;
    if (depth > kMaxDepth || ++elements > kMaxElements) {
        aborted = true;
        return false;
    }
    const std::string_view name = node.name();
    if (name == "Include") {
        const std::string_view source = node.attribute("source").value();
        if (includeDepth >= kMaxIncludeDepth) {
            DebugPrint("layout: include of '%.*s' nested too deep, skipped", static_cast<int>(source.size()),
                       source.data());
            return true;
        }
        const auto text = CPaintManagerUI::LoadResourceFile(source);
        if (!text) {
            DebugPrint("layout: include '%.*s' not found", static_cast<int>(source.size()), source.data());
            return true;
        }
        return BuildDocument(*text, parent, tops, depth + 1, includeDepth + 1);
    }
    if (name == "Font" || name == "Default")
        return true;  // only meaningful at window level

    std::unique_ptr<CControlUI> control(CreateControlOfClass(name));
    if (!control && callback != nullptr)
        control.reset(callback->CreateControl(std::string(name).c_str()));
    if (!control) {
        ReportUnknownOnce("element", name);
        return true;
    }
    // Children first, so that attributes naming a child (a tab layout's
    // "selectedid") find it.
    if (auto* container = ControlCast<CContainerUI>(control.get())) {
        for (const pugi::xml_node& child : node.children()) {
            if (!BuildElement(child, container, nullptr, depth + 1, includeDepth))
                return false;
        }
    }
    CControlUI* raw = control.get();
    if (parent != nullptr) {
        if (!parent->Add(raw))
            return true;                       // not taken: `control` still owns it
        static_cast<void>(control.release());  // the parent owns it now
    } else if (tops != nullptr) {
        tops->push_back(std::move(control));
    }
    const std::string defaults = DefaultsFor(raw->GetClass());
    if (!defaults.empty())
        raw->ApplyAttributeList(defaults);
    for (const pugi::xml_attribute& attr : node.attributes()) {
        if (!IsKnownAttribute(attr.name()))
            ReportUnknownOnce("attribute", attr.name());
        raw->SetAttribute(attr.name(), attr.value());
    }
    return true;
}

CControlUI* CDialogBuilder::Create(std::string_view xml, std::string_view /*type*/,
                                   IDialogBuilderCallback* callback, CPaintManagerUI* manager,
                                   CControlUI* parent) {
    const auto text = ReadLayout(xml);
    if (!text)
        return nullptr;
    pugi::xml_document doc;
    if (!doc.load_buffer(text->data(), text->size(), pugi::parse_default, pugi::encoding_auto))
        return nullptr;
    const pugi::xml_node rootNode = doc.document_element();
    if (!rootNode)
        return nullptr;

    BuildState state;
    state.callback = callback;
    state.manager = manager;
    std::vector<std::unique_ptr<CControlUI>> tops;
    bool ok = true;
    if (std::string_view(rootNode.name()) == "Window") {
        for (const pugi::xml_attribute& attr : rootNode.attributes()) {
            if (!IsKnownWindowAttribute(attr.name()))
                ReportUnknownOnce("window attribute", attr.name());
            if (manager != nullptr)
                manager->SetWindowAttribute(attr.name(), attr.value());
        }
        ok = state.BuildWindowChildren(rootNode, nullptr, &tops, 0, 0);
    } else {
        ok = state.BuildElement(rootNode, nullptr, &tops, 0, 0);
    }
    if (!ok || state.aborted) {
        DebugPrint("layout: too deep or too large, rejected");
        return nullptr;
    }
    if (tops.empty())
        return nullptr;
    if (tops.size() > 1)
        DebugPrint("layout: %zu root controls, the first is used", tops.size());
    if (parent != nullptr) {
        if (auto* container = ControlCast<CContainerUI>(parent)) {
            if (!container->Add(tops.front().get()))
                return nullptr;  // not taken: `tops` still owns and frees it
        }
    }
    return tops.front().release();
}

CControlUI* CDialogBuilder::CreateControlOfClass(std::string_view className) {
    const std::string cls = os::AsciiLowerCopy(className);
    if (cls == "control")
        return new CControlUI;
    if (cls == "container")
        return new CContainerUI;
    if (cls == "verticallayout")
        return new CVerticalLayoutUI;
    if (cls == "horizontallayout")
        return new CHorizontalLayoutUI;
    if (cls == "tablayout")
        return new CTabLayoutUI;
    if (cls == "animationtablayout")
        return new CAnimationTabLayoutUI;
    if (cls == "label")
        return new CLabelUI;
    if (cls == "text")
        return new CTextUI;
    if (cls == "button")
        return new CButtonUI;
    if (cls == "option")
        return new COptionUI;
    if (cls == "edit")
        return new CEditUI;
    if (cls == "progress")
        return new CProgressUI;
    if (cls == "picture")
        return new CPictureUI;
    if (cls == "list")
        return new CListUI;
    if (cls == "listcontainerelement")
        return new CListContainerElementUI;
    if (cls == "listlabelelement")
        return new CListLabelElementUI;
    if (cls == "menu")
        return new CMenuUI;
    if (cls == "menuelement")
        return new CMenuElementUI;
    if (cls == "wkewebkit")
        return new CWkeWebkitUI;
    return nullptr;
}

std::vector<TImageReference> CDialogBuilder::ListImages(CControlUI* root, CPaintManagerUI* manager) {
    std::vector<TImageReference> images;
    auto addImage = [&images](CControlUI* control, const std::string& attribute, std::string_view value) {
        const TImageInfo info = ParseImageString(value);
        if (info.file.empty())
            return;
        images.push_back(TImageReference{control, attribute, info.file, info.resType == "fullpath"});
    };
    if (manager != nullptr && !manager->GetShadowImage().empty())
        addImage(nullptr, "shadowimage", manager->GetShadowImage());
    if (root == nullptr)
        return images;
    root->ForEach([&](CControlUI* control) {
        for (const auto& [name, value] : control->GetAttributes()) {
            const bool isImage = name == "bitmap" || name == "image" ||
                                 (name.size() >= 5 && name.compare(name.size() - 5, 5, "image") == 0);
            if (isImage)
                addImage(control, name, value);
        }
        auto* label = ControlCast<CLabelUI>(control);
        if (label != nullptr && label->IsShowHtml()) {
            for (const TMarkupRun& run : ParseMarkup(label->GetText())) {
                if (run.kind == TMarkupRun::Kind::Image)
                    addImage(control, "text", run.text);
            }
        }
    });
    return images;
}

std::vector<TImageReference> CDialogBuilder::FindMissingImages(CControlUI* root, CPaintManagerUI* manager) {
    std::vector<TImageReference> missing;
    for (TImageReference& image : ListImages(root, manager)) {
        const bool found = image.fullPath ? os::FileExists(image.file)
                                          : CPaintManagerUI::LoadResourceFile(image.file).has_value();
        if (!found)
            missing.push_back(std::move(image));
    }
    return missing;
}

}  // namespace DuiLib
