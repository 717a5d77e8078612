#pragma once
// CBaseFrame: the frame base of the client's main windows. On top of the
// UI library's WindowImplBase it keeps window relations (an owning frame,
// child frames, a process-wide list of top frames), behaviour flags, its own
// modal loop that watches the windows it disabled, title-bar buttons,
// pop-up menus and a few placement helpers. Everything runs on the UI
// thread. The object deletes itself once its window is gone.

#include "platform/duilib/UIDlgBuilder.h"
#include "platform/duilib/UIMenu.h"
#include "platform/duilib/WinImplBase.h"

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class CBaseFrame : public DuiLib::WindowImplBase {
  public:
    // Behaviour flags.
    static constexpr DWORD kFlagNoSysClose = 0x01;    // the system menu's close is swallowed
    static constexpr DWORD kFlagNoEscape = 0x02;      // Escape does not close the frame
    static constexpr DWORD kFlagModal = 0x04;         // showing disables the parent windows
    static constexpr DWORD kFlagCustomRoot = 0x08;    // the root control comes from CreateRootControl
    static constexpr DWORD kFlagNoSysCommand = 0x10;  // every system command is swallowed
    static constexpr DWORD kFlagCentre = 0x20;        // centred when shown
    static constexpr DWORD kDefaultFlags = kFlagModal | kFlagCentre;
    // The menu style handed to CMenuWnd::Init (left and top edges at the point).
    static constexpr DWORD kMenuStyle = DuiLib::eMenuAlignment_Left | DuiLib::eMenuAlignment_Top;

    // A builder callback the frame owns (SetBuilderCallback).
    class BuilderCallback : public DuiLib::IDialogBuilderCallback {
      public:
        virtual ~BuilderCallback() = default;
    };

    CBaseFrame();
    ~CBaseFrame() override;

    // ---- the window class -----------------------------------------------------
    UINT GetClassStyle() const override { return UI_CLASSSTYLE_DIALOG; }
    std::string GetSkinFolder() override;
    std::string GetSkinFile() override { return "Form_Main.xml"; }
    void Notify(DuiLib::TNotifyUI& msg) override;
    void OnClick(DuiLib::TNotifyUI& msg) override;

    // ---- frame operations -------------------------------------------------------
    virtual DuiLib::CControlUI* CreateRootControl() { return nullptr; }
    // Runs once on "windowinit", after Initialised is set.
    virtual void OnWindowInit() {}
    // Closes the pop-up menu and posts the quit message with code 0.
    virtual void QuitApplication();
    virtual void SendNotifyTo(DuiLib::CControlUI* control, std::string_view type);
    virtual void SendNotifyByName(std::string_view name, std::string_view type);
    virtual DuiLib::CControlUI* FindControl(std::string_view name) const;
    // The control of that name when it is of the kind T (a CLabelUI, say,
    // which a button is too); null when missing or of another kind. Windows
    // resolve their controls with it once, after the layout is built.
    template <typename T>
    T* FindControl(std::string_view name) const {
        return m_pm.FindControl<T>(name);
    }
    virtual DuiLib::CControlUI* FindSubControl(DuiLib::CControlUI* parent, std::string_view name) const;
    // Selects page `index` of the tab layout `tabName`; false when there is
    // no such tab layout or page.
    virtual bool SelectTab(int index, std::string_view tabName, bool animated);
    // The selected page of `tabName`, -1 without one.
    virtual int GetTabSelection(std::string_view tabName) const;
    virtual bool SetSubControlText(DuiLib::CControlUI* parent, std::string_view name, std::string_view text);
    // Replaces the pop-up menu with one built from `layout` at `point`
    // (null: the cursor), moved left by half the menu offset (alignment 0) or
    // all of it (alignment 2), never below 0.
    virtual bool ShowPopupMenu(std::string_view layout, const POINT* point, int alignment);
    virtual bool SetWindowPosition(int x, int y, int cx, int cy, UINT flags);
    virtual bool IsTopmost() const;
    virtual void SetTopmost(bool on);
    virtual void BringToFront();
    // Centres over the owner window (the work area without one), kept on the
    // work area; a window larger than the work area sits at its left/top edge.
    virtual void CenterOnOwner();
    // False without a window.
    virtual bool ShowFrame(bool show);
    // Shows the frame and runs a loop until it is closed; returns the close
    // code. The object may be gone when this returns.
    virtual UINT DoModal();
    virtual void OnShowWindow(bool show);
    virtual void CloseFrame(UINT code);
    virtual void OnEmptyHook() {}
    // The main monitor is above 167 DPI (read once per process).
    virtual bool IsHighDpi() const;
    // Closes the window at once (the object goes with it).
    virtual void DestroyFrame();
    virtual void SetBuilderCallback(std::unique_ptr<BuilderCallback> callback);
    virtual void SetFlags(DWORD bits) { m_flags |= bits; }
    virtual void ClearFlags(DWORD bits) { m_flags &= ~bits; }
    virtual DWORD GetFlags() const { return m_flags; }
    virtual bool HasFlag(DWORD bits) const { return (m_flags & bits) != 0; }
    virtual DuiLib::CDialogBuilder& GetBuilder() { return m_builder; }
    // The modal loop (and the end-of-loop close) test the window's existence
    // (true) or its visibility (false).
    virtual bool IsModalByExistence() const { return false; }
    // True: the system close is swallowed while more than one top frame is
    // visible.
    virtual bool KeepsCloseWithOtherFrames() const { return false; }
    virtual CBaseFrame* GetOwner() const { return m_owner; }
    // With `link` the owner also lists this frame as its child.
    virtual void SetOwner(CBaseFrame* owner, bool link);
    virtual void DetachOwner();
    // Adds once; with `link` the child's owner becomes this frame.
    virtual void AddChild(CBaseFrame* child, bool link);
    virtual void RemoveChild(CBaseFrame* child);
    virtual int IndexOfChild(const CBaseFrame* child) const;
    virtual void CloseChildren();
    // Every visible child frame that accepts WM_SHOWWINDOW is closed with 1.
    virtual void HideChildren();
    virtual void BroadcastToChildren(UINT msg, WPARAM wParam, LPARAM lParam);
    virtual bool AcceptsMessage(UINT msg, WPARAM wParam, LPARAM lParam) const { return true; }
    // Receives WM_MENUCLICK; the base only frees the item name it carries.
    virtual void OnMenuCommand(WPARAM item);
    virtual void OnDropFiles(WPARAM drop) {}
    virtual void OnSysMenu(DuiLib::TNotifyUI& msg) {}
    virtual void OnSelectChanged(DuiLib::TNotifyUI& msg) {}
    virtual void OnItemSelect(DuiLib::TNotifyUI& msg) {}

    // The process-wide list of top frames. Unregistering swaps the last one
    // into the hole; with `close` the frame is destroyed, and a null frame
    // with `close` destroys every registered frame from the last.
    static void RegisterTopFrame(CBaseFrame* frame);
    static void UnregisterTopFrame(CBaseFrame* frame, bool close);
    static const std::vector<CBaseFrame*>& TopFrames();
    // Forgets the DPI read once per process (tests change the screen).
    static void ResetMainMonitorDpiCache();

    bool IsInitialised() const { return m_initialised; }
    CBaseFrame* GetModalOwner() const { return m_modalOwner; }
    const std::vector<CBaseFrame*>& Children() const { return m_children; }
    const std::vector<std::pair<HWND, bool>>& DisabledParents() const { return m_disabledParents; }
    DuiLib::CMenuWnd* GetPopupMenu() const { return m_popupMenu.get(); }
    DuiLib::MenuCheckInfo& MenuItems() { return m_menuItems; }
    void SetMenuOffset(int offset) { m_menuOffset = offset; }

  protected:
    LRESULT OnCreate(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;
    LRESULT OnClose(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;
    LRESULT OnDestroy(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;
    LRESULT OnSysCommand(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;
    LRESULT OnKeyDown(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;
    LRESULT HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;
    LRESULT ResponseDefaultKeyEvent(WPARAM wParam) override;
    void OnFinalMessage(HWND hWnd) override;

    // The owner window: the owning frame's, else the window's own owner.
    HWND OwnerWindow() const;
    // Enables again the windows that were enabled before ShowFrame disabled
    // them, and forgets the record.
    void RestoreDisabledParents();

    std::unique_ptr<DuiLib::CMenuWnd> m_popupMenu;
    DuiLib::MenuCheckInfo m_menuItems;
    DuiLib::CDialogBuilder m_builder;
    std::unique_ptr<BuilderCallback> m_builderCallback;
    DWORD m_flags = kDefaultFlags;
    int m_menuOffset = 0;
    CBaseFrame* m_modalOwner = nullptr;
    CBaseFrame* m_owner = nullptr;
    std::vector<CBaseFrame*> m_children;
    bool m_initialised = false;
    std::vector<std::pair<HWND, bool>> m_disabledParents;
};
