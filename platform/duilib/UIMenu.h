#pragma once
// CMenuWnd: a pop-up menu window built from a menu layout (Menu and
// MenuElement controls). Choosing an entry posts WM_MENUCLICK to the window
// that owns the menu, with wParam a heap std::string holding the entry's
// name (the receiver frees it with CPaintManagerUI::DeletePtr; when the
// owner is gone it is freed for it) and lParam the entry's check state from
// the context-menu observer's map; then the menu closes. Escape, or the
// focus moving to any other window, closes it too.
//
// The keys: Down and Up move the hot entry (the one the mouse would light)
// to the next or previous entry that can be chosen, skipping hidden and
// disabled entries and anything that is no entry (a separator), wrapping
// around; Return or Space chooses the hot entry exactly as a click does. A
// menu opened from the keyboard (its owner's focus came from a key) starts
// with its first entry hot.
//
// The object belongs to its creator (a frame keeps its current menu and
// deletes it when it opens the next one or goes itself): closing the menu
// destroys its window, not the object.

#include "platform/duilib/UIManager.h"
#include "platform/duilib/WindowWnd.h"

#include <map>
#include <string>
#include <string_view>

namespace DuiLib {

// Where the menu goes relative to the point given to Init.
enum MenuAlignment : DWORD {
    eMenuAlignment_Left = 1 << 1,    // the menu's left edge at the point
    eMenuAlignment_Top = 1 << 2,     // its top edge at the point
    eMenuAlignment_Right = 1 << 3,   // its right edge at the point
    eMenuAlignment_Bottom = 1 << 4,  // its bottom edge at the point
};

// Check states of menu entries by name, kept by the window that shows the
// menus.
using MenuCheckInfo = std::map<std::string, bool>;

// The process-wide registration of that map (the "context-menu observer").
class ContextMenuObserver {
  public:
    void SetMenuCheckInfo(MenuCheckInfo* info) { m_info = info; }
    MenuCheckInfo* GetMenuCheckInfo() const { return m_info; }

  private:
    MenuCheckInfo* m_info = nullptr;
};

class CMenuWnd : public CWindowWnd, public INotifyUI {
  public:
    CMenuWnd() = default;
    ~CMenuWnd() override;

    static ContextMenuObserver& GetGlobalContextMenuObserver();

    // Builds the menu from `xml` (a layout file name or literal layout
    // text) and shows it at `point` (screen coordinates), kept on the work
    // area. The owner window is `ownerManager`'s, else `owner`'s manager's.
    // False when there is no owner window or the layout cannot be built.
    bool Init(CControlUI* owner, std::string_view xml, POINT point, CPaintManagerUI* ownerManager,
              DWORD alignment = eMenuAlignment_Left | eMenuAlignment_Top);
    // Closes the menu (its window goes; the object stays with its creator).
    void DestroyMenu();

    const char* GetWindowClassName() const override { return "MenuWnd"; }
    void Notify(TNotifyUI& msg) override;
    CPaintManagerUI& GetPaintManager() { return m_pm; }
    HWND GetOwnerWindow() const { return m_ownerWnd; }

  protected:
    LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;

  private:
    LRESULT OnCreate();
    void Place();
    // Moves the hot entry one step down or up (see above).
    void MoveHot(bool down);
    // A key the menu acts on itself; false passes it on.
    bool OnKey(WPARAM key);

    CPaintManagerUI m_pm;
    CControlUI* m_pOwner = nullptr;
    HWND m_ownerWnd = nullptr;
    std::string m_xml;
    POINT m_point;
    DWORD m_alignment = eMenuAlignment_Left | eMenuAlignment_Top;
    bool m_chosen = false;
};

}  // namespace DuiLib
