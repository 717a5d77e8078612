#pragma once
// CWindowWnd: a C++ object owning one window. Derived classes give the
// window class name and handle messages in HandleMessage; OnFinalMessage is
// the last call the object receives for its window, after which it may
// delete itself (nothing of the library touches it afterwards).
//
// Deleting the object while its window lives takes the window with it, and
// none of that window's last messages reaches the object (its derived parts
// are already gone by then).

#include "platform/duilib/UIDefine.h"
#include "platform/duilib/WinUser.h"

#include <memory>
#include <string_view>

namespace DuiLib {

class CWindowWnd {
  public:
    CWindowWnd() = default;
    virtual ~CWindowWnd();
    CWindowWnd(const CWindowWnd&) = delete;
    CWindowWnd& operator=(const CWindowWnd&) = delete;

    HWND GetHWND() const { return m_hWnd; }
    operator HWND() const { return m_hWnd; }

    // The owner is hwndParent. Returns null when the window could not be
    // made (its WM_CREATE answered -1, or this object has a window already).
    HWND Create(HWND hwndParent, std::string_view name, DWORD style, DWORD exStyle, const RECT& rc);
    HWND Create(HWND hwndParent, std::string_view name, DWORD style, DWORD exStyle, int x = CW_USEDEFAULT,
                int y = CW_USEDEFAULT, int cx = CW_USEDEFAULT, int cy = CW_USEDEFAULT);

    // Shows (taking the focus or not) or hides the window.
    void ShowWindow(bool show = true, bool takeFocus = true);
    // Shows the window, disables its owner and runs a nested message loop
    // until the window is gone; returns the code given to Close. The owner
    // is enabled again and gets the focus back. A quit message ends the loop
    // early and is posted again for the outer loop. The object may be
    // deleted while the loop runs (a window that deletes itself when it is
    // destroyed): the loop does not touch it after.
    UINT ShowModal();
    // Asks the window to close, with `ret` as the modal result.
    void Close(UINT ret = IDOK);
    // Centres over the owner (or the work area without one), kept inside
    // the work area.
    void CenterWindow();
    void SetIcon(UINT resourceId);
    UINT GetIcon() const { return m_icon; }

    LRESULT SendMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);
    LRESULT PostMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);
    // Sizes the client area (-1 keeps a dimension).
    void ResizeClient(int cx = -1, int cy = -1);

    virtual const char* GetWindowClassName() const = 0;
    virtual const char* GetSuperClassName() const { return nullptr; }
    virtual UINT GetClassStyle() const { return 0; }
    // The class name and whether it is `name` (the window classes' own test).
    const char* GetClass() const { return GetWindowClassName(); }
    bool IsClass(std::string_view name) const;

  protected:
    virtual LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    virtual void OnFinalMessage(HWND hwnd);

    // For destructors: cuts the object off from its window, then destroys
    // the window. From here on no message of the window reaches this object
    // (HandleMessage and OnFinalMessage are not called; the default handling
    // answers instead), while windows it owns still get theirs. A derived
    // destructor calls it first when the window must go while the derived
    // part (its paint manager, say) still exists; the base destructor calls
    // it for every other window. Nothing happens without a window.
    void DestroyWindowDetached();

    HWND m_hWnd = nullptr;

  private:
    LRESULT WindowProcedure(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

    UINT m_icon = 0;
    // The window's way to this object: the window procedure reaches the
    // object through it, and DestroyWindowDetached empties it. Shared with
    // the procedure, which may outlive the object by a few messages when the
    // object goes while its window is already being destroyed.
    std::shared_ptr<CWindowWnd*> m_link;
};

}  // namespace DuiLib
