#include "platform/duilib/UIMenu.h"

#include "platform/duilib/UIDPI.h"
#include "platform/duilib/UIDlgBuilder.h"
#include "platform/duilib/UIMenuUI.h"
#include "platform/duilib/WinUser.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace DuiLib {

CMenuWnd::~CMenuWnd() {
    // The window goes while the manager exists, without its messages
    // reaching this object (a derived part may be gone already).
    DestroyWindowDetached();
    m_pm.RemoveNotifier(this);
}

ContextMenuObserver& CMenuWnd::GetGlobalContextMenuObserver() {
    static ContextMenuObserver observer;
    return observer;
}

bool CMenuWnd::Init(CControlUI* owner, std::string_view xml, POINT point, CPaintManagerUI* ownerManager,
                    DWORD alignment) {
    if (ownerManager == nullptr && owner != nullptr)
        ownerManager = owner->GetManager();
    if (ownerManager == nullptr || !::IsWindow(ownerManager->GetPaintWindow()) || ::IsWindow(m_hWnd))
        return false;
    m_pOwner = owner;
    m_ownerWnd = ownerManager->GetPaintWindow();
    m_xml = xml;
    m_point = point;
    m_alignment = alignment;
    m_chosen = false;
    if (Create(m_ownerWnd, "", WS_POPUP, WS_EX_TOOLWINDOW | WS_EX_TOPMOST, 0, 0, 0, 0) == nullptr)
        return false;
    Place();
    const bool byKeyboard = ownerManager->IsFocusByKeyboard();
    ::ShowWindow(m_hWnd, SW_SHOW);
    if (!::IsWindow(m_hWnd))
        return false;
    if (byKeyboard)
        MoveHot(true);
    return true;
}

void CMenuWnd::DestroyMenu() {
    if (::IsWindow(m_hWnd))
        ::DestroyWindow(m_hWnd);
}

LRESULT CMenuWnd::OnCreate() {
    m_pm.Init(m_hWnd, m_xml.size() < 260 && m_xml.find('<') == std::string::npos ? m_xml : "menu");
    CDialogBuilder builder;
    CControlUI* root = builder.Create(m_xml, {}, nullptr, &m_pm);
    if (root == nullptr)
        return -1;
    m_pm.AttachDialog(root);
    m_pm.AddNotifier(this);
    return 0;
}

void CMenuWnd::Place() {
    const RECT work = GetMonitorWorkArea(m_hWnd);
    SIZE size = m_pm.GetDPIObj().Scale(m_pm.GetInitSize());
    if (size.cx <= 0 || size.cy <= 0) {
        CControlUI* root = m_pm.GetRoot();
        const SIZE wanted = root != nullptr ? root->EstimateSize(SIZE{work.Width(), work.Height()}) : SIZE{};
        size.cx = size.cx > 0 ? size.cx : (wanted.cx > 0 ? wanted.cx : 160);
        size.cy = size.cy > 0 ? size.cy : (wanted.cy > 0 ? wanted.cy : 200);
    }
    long x = (m_alignment & eMenuAlignment_Right) != 0 ? m_point.x - size.cx : m_point.x;
    long y = (m_alignment & eMenuAlignment_Bottom) != 0 ? m_point.y - size.cy : m_point.y;
    // Kept on the work area: pushed back from the right and bottom edges,
    // never above or left of it.
    x = std::max(std::min(x, work.right - size.cx), work.left);
    y = std::max(std::min(y, work.bottom - size.cy), work.top);
    ::SetWindowPos(m_hWnd, HWND_TOPMOST, static_cast<int>(x), static_cast<int>(y), static_cast<int>(size.cx),
                   static_cast<int>(size.cy), SWP_NOACTIVATE);
}

void CMenuWnd::MoveHot(bool down) {
    CControlUI* root = m_pm.GetRoot();
    if (root == nullptr)
        return;
    std::vector<CControlUI*> entries;
    root->ForEach([&](CControlUI* c) {
        if (ControlCast<CMenuElementUI>(c) == nullptr || !c->IsVisible())
            return;
        for (CControlUI* up = c; up != nullptr; up = up->GetParent()) {
            if (!up->IsEnabled())
                return;
        }
        entries.push_back(c);
    });
    if (entries.empty())
        return;
    const auto at = std::find(entries.begin(), entries.end(), m_pm.GetHover());
    std::size_t next = 0;
    if (at == entries.end())
        next = down ? 0 : entries.size() - 1;  // none hot yet: the first or the last
    else
        next = (static_cast<std::size_t>(at - entries.begin()) + (down ? 1 : entries.size() - 1)) %
               entries.size();
    m_pm.SetHotByKeyboard(entries[next]);
}

bool CMenuWnd::OnKey(WPARAM key) {
    switch (key) {
        case VK_ESCAPE:
            Close();
            return true;
        case VK_DOWN:
        case VK_UP:
            MoveHot(key == VK_DOWN);
            return true;
        case VK_RETURN:
        case VK_SPACE:
            // The hot entry is chosen through the click's own path.
            if (CControlUI* hot = ControlCast<CMenuElementUI>(m_pm.GetHover()))
                hot->Activate();
            return true;
        default:
            return false;
    }
}

void CMenuWnd::Notify(TNotifyUI& msg) {
    if (msg.sType != DUI_MSGTYPE_ITEMCLICK || msg.pSender == nullptr || m_chosen)
        return;
    m_chosen = true;
    const std::string& name = msg.pSender->GetName();
    bool checked = false;
    if (MenuCheckInfo* info = GetGlobalContextMenuObserver().GetMenuCheckInfo()) {
        auto it = info->find(name);
        checked = it != info->end() && it->second;
    }
    // The name travels to the owner on the heap; freed here if the owner
    // has gone.
    PostOwnedWParam(m_ownerWnd, WM_MENUCLICK, std::make_unique<std::string>(name), checked ? 1 : 0);
    Close();
}

LRESULT CMenuWnd::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
    switch (uMsg) {
        case WM_CREATE:
            return OnCreate();
        case WM_KILLFOCUS:
            // The focus went to another window (the owner included): the
            // menu has served its purpose.
            if (reinterpret_cast<HWND>(wParam) != m_hWnd)
                Close();
            break;
        case WM_KEYDOWN:
            if (OnKey(wParam))
                return 0;  // the menu may be gone: nothing of it is touched
            break;
        case WM_DESTROY:
            m_pm.RemoveNotifier(this);
            break;
        default:
            break;
    }
    LRESULT lRes = 0;
    if (m_pm.MessageHandler(uMsg, wParam, lParam, lRes))
        return lRes;
    return CWindowWnd::HandleMessage(uMsg, wParam, lParam);
}

}  // namespace DuiLib
