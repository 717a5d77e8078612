#include "ui/FloatWnd.h"

#include "platform/duilib/UIDPI.h"
#include "platform/duilib/UIDlgBuilder.h"

using namespace DuiLib;

CFloatWnd::CFloatWnd(CControlUI* opener, POINT position) : m_opener(opener), m_position(position) {}

CFloatWnd::~CFloatWnd() {
    // A pop-up deleted while its window lives: the window goes while the
    // manager that serves it still exists, and its final message does not
    // delete this object a second time.
    DestroyWindowDetached();
    m_pm.RemoveNotifier(this);
}

bool CFloatWnd::BuildLayout(std::string_view layout) {
    m_pm.Init(m_hWnd, layout);
    CDialogBuilder builder;
    CControlUI* root = builder.Create(layout, {}, nullptr, &m_pm);
    if (root == nullptr)
        return false;
    m_pm.AttachDialog(root);
    m_pm.AddNotifier(this);
    // The layout's size grows with the window's scale, as its lengths do.
    const SIZE size = m_pm.GetDPIObj().Scale(m_pm.GetInitSize());
    ::SetWindowPos(m_hWnd, nullptr, static_cast<int>(m_position.x), static_cast<int>(m_position.y),
                   static_cast<int>(size.cx), static_cast<int>(size.cy), SWP_NOZORDER | SWP_NOACTIVATE);
    return true;
}

LRESULT CFloatWnd::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
    switch (uMsg) {
        case WM_CREATE:
            return OnCreate();
        case WM_SIZE: {
            const SIZE corner = m_pm.GetRoundCorner();
            if (wParam != SIZE_MINIMIZED && (corner.cx != 0 || corner.cy != 0))
                m_regionCorner = corner;
            break;
        }
        case WM_KILLFOCUS:
            // Any other window taking the focus ends the pop-up, its own
            // child windows included.
            if (reinterpret_cast<HWND>(wParam) != m_hWnd)
                PostMessage(WM_CLOSE);
            break;
        case WM_CLOSE:
            ::DestroyWindow(m_hWnd);  // may delete this object: nothing follows
            return 0;
        case WM_KEYDOWN:
            if (wParam == VK_ESCAPE) {
                Close(1);
                return 0;
            }
            break;
        case WM_MOUSEWHEEL:
            return 0;
        default:
            break;
    }
    LRESULT result = 0;
    if (m_pm.MessageHandler(uMsg, wParam, lParam, result))
        return result;
    return CWindowWnd::HandleMessage(uMsg, wParam, lParam);
}

void CFloatWnd::Notify(TNotifyUI& msg) {
    if (msg.sType == DUI_MSGTYPE_ITEMSELECT) {
        Close(1);
    } else if (msg.sType == DUI_MSGTYPE_ITEMCLICK) {
        Close(1);
        if (m_opener != nullptr && m_opener->GetManager() != nullptr) {
            // The item belongs to this pop-up and goes with it before the
            // forwarded notification is delivered, so the opener's window
            // receives it from the control that opened the pop-up (its own
            // manager delivers nothing from a control outside its tree).
            TNotifyUI forwarded = msg;
            forwarded.pSender = m_opener;
            m_opener->GetManager()->SendNotify(forwarded, true);
        }
    }
}

void CFloatWnd::OnFinalMessage(HWND /*hWnd*/) {
    m_pm.RemoveNotifier(this);
    delete this;  // a pop-up belongs to nobody once its window is gone
}
