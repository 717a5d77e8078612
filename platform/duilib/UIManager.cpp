// The per-window model of the paint manager: each window's control tree,
// name index, fonts, default attributes, window attributes, scale and
// layout pass. The process-wide state lives in UIManagerResources.cpp, the
// message routing in UIManagerMessages.cpp.
#include "platform/duilib/UIManager.h"

#include "platform/duilib/UIContainer.h"
#include "platform/duilib/UIDPI.h"
#include "platform/duilib/UIManagerState.h"
#include "platform/duilib/UIRender.h"
#include "platform/duilib/backend/Backend.h"
#include "platform/os/Text.h"

#include <algorithm>

namespace DuiLib {

CPaintManagerUI::CPaintManagerUI()
    : m_pDPI(std::make_unique<CDPI>()), m_messages(std::make_unique<MessageState>()) {
    m_pDPI->SetScale(DefaultDpi());
    LiveManagers().push_back(this);
}

CPaintManagerUI::~CPaintManagerUI() {
    auto& registry = LiveManagers();
    registry.erase(std::remove(registry.begin(), registry.end(), this), registry.end());
    // The tree goes while the indexes it reports to are still alive.
    m_pRoot.reset();
}

void CPaintManagerUI::Init(HWND hWnd, std::string_view name) {
    m_hWndPaint = hWnd;
    m_sName = name;
}

bool CPaintManagerUI::AttachDialog(CControlUI* root) {
    if (root == nullptr)
        return false;
    if (root == m_pRoot.get())
        return true;
    // The old tree (if any) goes; its controls leave the indexes as they go.
    m_pRoot.reset();
    m_nameIndex.clear();
    m_pFocus = nullptr;
    m_pRoot.reset(root);
    CaptureResourceSource();
    // Detached first, so that a tree that already named this manager is
    // indexed afresh.
    root->SetManager(nullptr, nullptr, false);
    root->SetManager(this, nullptr, true);
    NeedUpdate();
    return true;
}

CControlUI* CPaintManagerUI::FindControl(std::string_view name) const {
    if (name.empty())
        return nullptr;
    const auto [first, last] = m_nameIndex.equal_range(name);
    if (first == last)
        return nullptr;
    if (std::next(first) == last)
        return first->second;
    // Several controls share the name: the first in tree order wins.
    CControlUI* found = nullptr;
    if (m_pRoot != nullptr)
        found = m_pRoot->FindControlByName(name);
    return found != nullptr ? found : first->second;
}

namespace {
CControlUI* HitTest(CControlUI* control, POINT pt) {
    const RECT& rc = control->GetPos();
    if (!control->IsOwnVisible() || pt.x < rc.left || pt.x >= rc.right || pt.y < rc.top || pt.y >= rc.bottom)
        return nullptr;
    if (auto* container = ControlCast<CContainerUI>(control)) {
        for (int i = container->GetCount() - 1; i >= 0; --i) {
            if (CControlUI* hit = HitTest(container->GetItemAt(i), pt))
                return hit;
        }
    }
    return control;
}
}  // namespace

CControlUI* CPaintManagerUI::FindControl(POINT pt) const {
    return m_pRoot != nullptr ? HitTest(m_pRoot.get(), pt) : nullptr;
}

CControlUI* CPaintManagerUI::FindSubControlByName(CControlUI* parent, std::string_view name) const {
    if (parent == nullptr || name.empty())
        return nullptr;
    return parent->FindControlByName(name);
}

void CPaintManagerUI::NameChanged(CControlUI* control, std::string_view oldName) {
    if (control == nullptr)
        return;
    if (!oldName.empty()) {
        const auto [first, last] = m_nameIndex.equal_range(oldName);
        for (auto it = first; it != last; ++it) {
            if (it->second == control) {
                m_nameIndex.erase(it);
                break;
            }
        }
    }
    if (control->GetManager() == this && !control->GetName().empty())
        m_nameIndex.emplace(control->GetName(), control);
}

void CPaintManagerUI::ReapControl(CControlUI* control) {
    if (control == nullptr)
        return;
    const auto [first, last] = m_nameIndex.equal_range(control->GetName());
    for (auto it = first; it != last; ++it) {
        if (it->second == control) {
            m_nameIndex.erase(it);
            break;
        }
    }
    // No focus events: the control is going away.
    if (m_pFocus == control)
        m_pFocus = nullptr;
    // Nor may a timer of it fire later.
    KillTimer(control);
}

void CPaintManagerUI::SetInitSize(int cx, int cy) {
    m_szInitWindowSize = SIZE{cx, cy};
}

void CPaintManagerUI::SetRoundCorner(int cx, int cy) {
    m_szRoundCorner = SIZE{cx, cy};
}

void CPaintManagerUI::SetShadow(bool on, int size, std::string_view image) {
    m_bShadow = on;
    if (size > 0)
        m_nShadowSize = size;
    if (!image.empty())
        m_sShadowImage = image;
}

void CPaintManagerUI::SetWindowAttribute(std::string_view name, std::string_view value) {
    m_windowAttributes.insert_or_assign(std::string(name), std::string(value));
    if (name == "size") {
        if (auto size = ParseSize(value))
            SetInitSize(size->cx, size->cy);
    } else if (name == "caption") {
        if (auto rc = ParseRect(value))
            SetCaptionRect(*rc);
    } else if (name == "roundcorner") {
        if (auto size = ParseSize(value))
            SetRoundCorner(size->cx, size->cy);
    } else if (name == "mininfo") {
        if (auto size = ParseSize(value))
            SetMinInfo(size->cx, size->cy);
    } else if (name == "maxinfo") {
        if (auto size = ParseSize(value))
            SetMaxInfo(size->cx, size->cy);
    } else if (name == "sizebox") {
        if (auto rc = ParseRect(value))
            SetSizeBox(*rc);
    } else if (name == "showshadow") {
        if (auto on = ParseBool(value))
            m_bShadow = *on;
    } else if (name == "shadowsize") {
        if (auto size = ParseInt(value); size && *size >= 0)
            m_nShadowSize = *size;
    } else if (name == "shadowimage") {
        m_sShadowImage = value;
    }
}

std::string CPaintManagerUI::GetWindowAttribute(std::string_view name) const {
    const auto it = m_windowAttributes.find(name);
    return it == m_windowAttributes.end() ? std::string() : it->second;
}

void CPaintManagerUI::AddFont(const TFontInfo& font) {
    m_fonts.insert_or_assign(font.id, font);
    if (font.isDefault)
        m_defaultFont = font;
    NeedUpdate();
}

const TFontInfo& CPaintManagerUI::GetFont(int id) const {
    const auto it = m_fonts.find(id);
    return it == m_fonts.end() ? m_defaultFont : it->second;
}

const TFontInfo& CPaintManagerUI::GetDefaultFont() const {
    return m_defaultFont;
}

void CPaintManagerUI::AddDefaultAttributeList(std::string_view controlClass, std::string_view list) {
    m_defaultAttributes.insert_or_assign(os::AsciiLowerCopy(controlClass), std::string(list));
}

std::string CPaintManagerUI::GetDefaultAttributeList(std::string_view controlClass) const {
    const auto it = m_defaultAttributes.find(os::AsciiLowerCopy(controlClass));
    return it == m_defaultAttributes.end() ? std::string() : it->second;
}

CDPI& CPaintManagerUI::GetDPIObj() {
    return *m_pDPI;
}

void CPaintManagerUI::SetDPI(int dpi) {
    const int before = m_pDPI->GetScale();
    m_pDPI->SetScale(dpi);
    if (m_pDPI->GetScale() != before)
        NeedUpdate();
}

void CPaintManagerUI::NeedUpdate() {
    // Told once per pending layout: the first layout of a window runs with
    // its first paint anyway.
    if (m_bUpdateNeeded)
        return;
    m_bUpdateNeeded = true;
    if (m_hWndPaint != nullptr)
        GetBackend().LayoutNeeded(m_hWndPaint);
}

void CPaintManagerUI::UpdateLayout(RECT client) {
    m_rcClient = client;
    m_bUpdateNeeded = false;
    if (m_pRoot != nullptr)
        m_pRoot->SetPos(client);
}

void CPaintManagerUI::UpdateLayout() {
    UpdateLayout(m_rcClient);
}

}  // namespace DuiLib
