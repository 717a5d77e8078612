#include "platform/duilib/WindowWnd.h"

#include "platform/duilib/ModalScope.h"
#include "platform/duilib/backend/Screen.h"

#include <algorithm>
#include <string>
#include <utility>

namespace DuiLib {

CWindowWnd::~CWindowWnd() {
    // A window still alive goes with the object, which is half destroyed by
    // now: none of the window's last messages may reach it.
    DestroyWindowDetached();
}

void CWindowWnd::DestroyWindowDetached() {
    if (m_link)
        *m_link = nullptr;
    const HWND hwnd = std::exchange(m_hWnd, nullptr);
    // Refused when the window is gone or already being destroyed; either
    // way no later message finds this object.
    if (hwnd != nullptr)
        ::DestroyWindow(hwnd);
}

HWND CWindowWnd::Create(HWND hwndParent, std::string_view name, DWORD style, DWORD exStyle, const RECT& rc) {
    return Create(hwndParent, name, style, exStyle, rc.left, rc.top, rc.Width(), rc.Height());
}

HWND CWindowWnd::Create(HWND hwndParent, std::string_view name, DWORD style, DWORD exStyle, int x, int y,
                        int cx, int cy) {
    if (m_hWnd != nullptr)
        return nullptr;
    WindowCreateParams params;
    params.className = GetWindowClassName() != nullptr ? GetWindowClassName() : "";
    params.title = name;
    params.style = style;
    params.exStyle = exStyle;
    params.x = x;
    params.y = y;
    params.cx = cx;
    params.cy = cy;
    params.owner = hwndParent;
    // m_hWnd is known from the first message on (WM_CREATE included), as the
    // Windows class procedure stores it on WM_NCCREATE.
    // The result is the local handle: when creation fails the object may
    // already have deleted itself in its final message.
    m_link = std::make_shared<CWindowWnd*>(this);
    return CreateWindowRecord(params, [link = m_link](HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
        CWindowWnd* self = *link;
        return self != nullptr ? self->WindowProcedure(hwnd, msg, wParam, lParam)
                               : ::DefWindowProcW(hwnd, msg, wParam, lParam);
    });
}

LRESULT CWindowWnd::WindowProcedure(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_CREATE)
        m_hWnd = hwnd;
    if (msg == WM_NCDESTROY) {
        const LRESULT result = HandleMessage(msg, wParam, lParam);
        m_hWnd = nullptr;
        // May delete this object: the last thing done with it.
        OnFinalMessage(hwnd);
        return result;
    }
    return HandleMessage(msg, wParam, lParam);
}

LRESULT CWindowWnd::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    return ::DefWindowProcW(m_hWnd, msg, wParam, lParam);
}

void CWindowWnd::OnFinalMessage(HWND /*hwnd*/) {}

bool CWindowWnd::IsClass(std::string_view name) const {
    const char* own = GetWindowClassName();
    return own != nullptr && name == own;
}

void CWindowWnd::ShowWindow(bool show, bool takeFocus) {
    if (!::IsWindow(m_hWnd))
        return;
    ::ShowWindow(m_hWnd, show ? (takeFocus ? SW_SHOWNORMAL : SW_SHOWNOACTIVATE) : SW_HIDE);
}

UINT CWindowWnd::ShowModal() {
    // Only locals from here on: the object may be gone when the loop ends.
    const HWND hwnd = m_hWnd;
    if (!::IsWindow(hwnd))
        return 0;
    UINT result = 0;
    ::ShowWindow(hwnd, SW_SHOWNORMAL);
    ModalScope scope(::GetWindowOwner(hwnd));
    scope.Run([hwnd] { return !::IsWindow(hwnd); },
              [&](const MSG& msg) {
                  if (msg.message == WM_CLOSE && msg.hwnd == hwnd) {
                      result = static_cast<UINT>(msg.wParam);
                      // The owner comes back before the dialog goes, so that it
                      // (and not some other window) is activated when the
                      // dialog is gone.
                      scope.ReleaseOwner();
                  }
                  return ModalStep::Dispatch;
              });
    return result;
}

void CWindowWnd::Close(UINT ret) {
    if (!::IsWindow(m_hWnd))
        return;
    ::PostMessageW(m_hWnd, WM_CLOSE, ret, 0);
}

void CWindowWnd::CenterWindow() {
    RECT rc;
    if (!::GetWindowRect(m_hWnd, &rc))
        return;
    const RECT work = GetMonitorWorkArea(m_hWnd);
    RECT reference = work;
    const HWND owner = ::GetWindowOwner(m_hWnd);
    RECT ownerRect;
    if (owner != nullptr && ::IsWindowVisible(owner) && !::IsIconic(owner) &&
        ::GetWindowRect(owner, &ownerRect))
        reference = ownerRect;
    const long width = rc.Width();
    const long height = rc.Height();
    long x = (reference.left + reference.right) / 2 - width / 2;
    long y = (reference.top + reference.bottom) / 2 - height / 2;
    // Inside the work area; a window larger than it sits at its top-left.
    x = std::max(std::min(x, work.right - width), work.left);
    y = std::max(std::min(y, work.bottom - height), work.top);
    ::SetWindowPos(m_hWnd, nullptr, static_cast<int>(x), static_cast<int>(y), -1, -1,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CWindowWnd::SetIcon(UINT resourceId) {
    m_icon = resourceId;
}

LRESULT CWindowWnd::SendMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    return ::SendMessageW(m_hWnd, msg, wParam, lParam);
}

LRESULT CWindowWnd::PostMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    return ::PostMessageW(m_hWnd, msg, wParam, lParam);
}

void CWindowWnd::ResizeClient(int cx, int cy) {
    RECT rc;
    if (!::GetClientRect(m_hWnd, &rc))
        return;
    if (cx != -1)
        rc.right = cx;
    if (cy != -1)
        rc.bottom = cy;
    ::SetWindowPos(m_hWnd, nullptr, 0, 0, static_cast<int>(rc.right), static_cast<int>(rc.bottom),
                   SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
}

}  // namespace DuiLib
