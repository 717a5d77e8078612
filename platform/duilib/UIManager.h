#pragma once
// CPaintManagerUI: one per window (its control tree, names, notifiers, focus,
// timers, fonts and window attributes from the layout), plus the
// process-wide state of the library (program instance, skin folder, the
// resource archive in force, the message loop).
//
// The per-window model lives in UIManager.cpp, the process-wide state and
// the resource archive in UIManagerResources.cpp, the message routing
// (input, focus, timers, notifications, the loop) in UIManagerMessages.cpp.

#include "platform/duilib/UIControl.h"
#include "platform/duilib/UIDefine.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace DuiLib {

class CDPI;

// A font of the layout's <Font> elements, addressed by id.
struct TFontInfo {
    int id = -1;
    std::string name;
    int size = 12;
    bool bold = false;
    bool underline = false;
    bool italic = false;
    bool isDefault = false;
};

// Where and how the focus indicator is drawn: a ring of `width` pixels in
// `color` along the inside of `rect` (client coordinates: the focused
// control's rectangle cut to what its parents show, less `width` on each
// side), with a line of `contrast` inside it so that the ring shows on light
// and dark skins alike.
struct TFocusIndicator {
    RECT rect;
    DWORD color = 0;
    DWORD contrast = 0;
    int width = 0;
    bool operator==(const TFocusIndicator&) const = default;
};

// The resource archive in force: bytes the caller keeps alive (the
// program's embedded skin, or a toolbox archive the caller holds).
struct TResourceZip {
    const void* data = nullptr;
    std::size_t size = 0;
};

class CPaintManagerUI {
  public:
    CPaintManagerUI();
    ~CPaintManagerUI();
    CPaintManagerUI(const CPaintManagerUI&) = delete;
    CPaintManagerUI& operator=(const CPaintManagerUI&) = delete;

    // ---- process-wide state ------------------------------------------------
    // The program instance; on Linux a token that is only kept and returned.
    static void SetInstance(void* instance);
    static void* GetInstance();
    // The program folder with a trailing '/', where skin/ and language/ are.
    static std::string GetInstancePath();
    static void SetSkinExt(std::string_view ext);
    static const std::string& GetSkinExt();
    // The folder layouts and images are read from when no resource archive
    // is in force, or when the archive lacks a file.
    static void SetSkinPath(std::string_view path);
    // A relative folder is taken below the program folder. Set at start-up
    // on the UI thread; readers on other threads see it through
    // LoadResourceFile only.
    static void SetResourcePath(std::string_view path);
    static const std::string& GetResourcePath();
    // Puts an archive in force: layouts and images are then read from it by
    // name. The bytes are not copied; the caller keeps them alive while they
    // are in force. A second call switches to the new archive; (nullptr, 0)
    // drops the archive. Bytes that are not a readable zip leave no archive
    // in force (lookups then find nothing in it) and return false.
    // May run on any thread (as may GetResourceZip and LoadResourceFile).
    static bool SetResourceZip(const void* data, std::size_t size, bool cachedResZip = false);
    static TResourceZip GetResourceZip();
    // Reads a skin file by name: from the archive in force, else from the
    // resource path. Names use '/' or '\\'; comparisons ignore letter case
    // as the Windows file names they come from do. Empty when not found,
    // and for an entry larger than 16 MiB or damaged (a CRC mismatch).
    static std::optional<std::string> LoadResourceFile(std::string_view name);
    // A skin file of this window: from the archive and resource folder in
    // force when its layout was attached (AttachDialog), so that a window
    // keeps its images while another window's archive is in force. Before
    // that, as LoadResourceFile. Any thread.
    std::optional<std::string> LoadWindowResource(std::string_view name) const;
    // A number naming that archive (0: none); images decoded from it may be
    // kept under it.
    std::uint64_t GetResourceArchiveId() const;
    // Releases a heap object the library handed over with a message (the
    // menu item name of WM_MENUCLICK): a std::string*.
    static void DeletePtr(void* ptr);
    // Every window's scale follows `dpi` (96 = 100 %).
    static void SetAllDPI(int dpi);
    // Runs the UI thread's message loop until the quit message.
    static void MessageLoop();
    // Every paint manager of a live window.
    static std::vector<CPaintManagerUI*> GetPaintManagers();

    // ---- per window ------------------------------------------------------------
    void Init(HWND hWnd, std::string_view name = {});
    HWND GetPaintWindow() const { return m_hWndPaint; }
    const std::string& GetName() const { return m_sName; }

    // Takes ownership of the tree and attaches every control to this manager.
    bool AttachDialog(CControlUI* root);
    CControlUI* GetRoot() const { return m_pRoot.get(); }
    // Lookups that find nothing return null.
    CControlUI* FindControl(std::string_view name) const;
    // The control of that name as the kind T (FindControl<CLabelUI>("lbl"),
    // which finds a button too, a button being a label); null when missing
    // or of another kind. Windows resolve their controls with it once,
    // after the layout is built.
    template <typename T>
    T* FindControl(std::string_view name) const {
        return ControlCast<T>(FindControl(name));
    }
    CControlUI* FindSubControlByName(CControlUI* parent, std::string_view name) const;
    // The control a user would hit at `pt` (window client coordinates): the
    // deepest visible one whose rectangle holds the point, later children
    // (drawn on top) first. Null outside every control.
    CControlUI* FindControl(POINT pt) const;
    // Keeps the name index current when a control is named or renamed.
    void NameChanged(CControlUI* control, std::string_view oldName);
    // A control is being destroyed: forget every reference to it.
    void ReapControl(CControlUI* control);

    // Window attributes of the layout's <Window> element.
    SIZE GetInitSize() const { return m_szInitWindowSize; }
    void SetInitSize(int cx, int cy);
    RECT GetCaptionRect() const { return m_rcCaption; }
    void SetCaptionRect(RECT rc) { m_rcCaption = rc; }
    SIZE GetRoundCorner() const { return m_szRoundCorner; }
    void SetRoundCorner(int cx, int cy);
    SIZE GetMinInfo() const { return m_szMinWindow; }
    void SetMinInfo(int cx, int cy) { m_szMinWindow = {cx, cy}; }
    SIZE GetMaxInfo() const { return m_szMaxWindow; }
    void SetMaxInfo(int cx, int cy) { m_szMaxWindow = {cx, cy}; }
    RECT GetSizeBox() const { return m_rcSizeBox; }
    void SetSizeBox(RECT rc) { m_rcSizeBox = rc; }
    bool IsShadowEnabled() const { return m_bShadow; }
    void SetShadow(bool on, int size = 0, std::string_view image = {});
    int GetShadowSize() const { return m_nShadowSize; }
    const std::string& GetShadowImage() const { return m_sShadowImage; }
    // Window attributes the library has no field for, kept as written.
    void SetWindowAttribute(std::string_view name, std::string_view value);
    std::string GetWindowAttribute(std::string_view name) const;

    // Fonts by id; the default font answers for an unknown id.
    void AddFont(const TFontInfo& font);
    const TFontInfo& GetFont(int id) const;
    const TFontInfo& GetDefaultFont() const;
    // Default attributes for every control of a kind (<Default name= value=>).
    void AddDefaultAttributeList(std::string_view controlClass, std::string_view list);
    std::string GetDefaultAttributeList(std::string_view controlClass) const;

    // This window's scale.
    CDPI& GetDPIObj();
    void SetDPI(int dpi);

    // ---- notifications, focus, timers (UIManagerMessages.cpp) ------------------
    bool AddNotifier(INotifyUI* notifier);
    bool RemoveNotifier(INotifyUI* notifier);
    // Raises a notification. Synchronous by default: every notifier sees it
    // before this returns. With `async` it is queued and delivered from the
    // message loop (dropped if the window is gone by then).
    void SendNotify(CControlUI* control, std::string_view type, WPARAM wParam = 0, LPARAM lParam = 0,
                    bool async = false);
    void SendNotify(TNotifyUI& msg, bool async = false);
    bool AddPreMessageFilter(IMessageFilterUI* filter);
    bool RemovePreMessageFilter(IMessageFilterUI* filter);
    bool AddMessageFilter(IMessageFilterUI* filter);
    bool RemoveMessageFilter(IMessageFilterUI* filter);

    CControlUI* GetFocus() const { return m_pFocus; }
    // The control under the mouse that takes clicks (a button, a list item,
    // an edit), and the one a press started on and not yet released; null
    // without one. For the look of hot and pushed states.
    CControlUI* GetHover() const;
    CControlUI* GetPushed() const;
    void SetFocus(CControlUI* control);
    // ---- the keyboard (UIManagerKeyboard.cpp) ------------------------------
    // Whether Tab stops at `control`: it takes keys, and it and every
    // control above it are visible and enabled.
    static bool IsTabStop(const CControlUI* control);
    // Moves the focus to the next (or previous) tab stop in layout order
    // after the focused control (from the top, or the bottom, without one),
    // wrapping around; the focus then counts as the keyboard's. False when
    // the window has no tab stop.
    bool MoveFocus(bool forward);
    // Gives the focus to `control` as a key does: the focus indicator shows.
    void SetFocusByKeyboard(CControlUI* control);
    // Whether the focus was last moved by a key; a press of a mouse button
    // in the window ends it.
    bool IsFocusByKeyboard() const;
    void SetFocusByKeyboardState(bool byKeyboard);
    // The indicator to draw around the focused control, or none: only while
    // the focus came from the keyboard and the control shows. The colour is
    // the control's "focusbordercolor"; without one, kFocusOnLight over a
    // light background (the control's own in its state, else the nearest
    // parent's, else the window's white) and kFocusOnDark over a dark one.
    std::optional<TFocusIndicator> GetFocusIndicator() const;
    static constexpr DWORD kFocusOnLight = 0xFF1F2329;
    static constexpr DWORD kFocusOnDark = 0xFFFFFFFF;
    // Moves the hot look (as the mouse gives it) to `control`, as a menu's
    // arrow keys do; null clears it.
    void SetHotByKeyboard(CControlUI* control);

    bool SetTimer(CControlUI* control, UINT timerId, UINT elapse);
    bool KillTimer(CControlUI* control, UINT timerId);
    void KillTimer(CControlUI* control);

    // Lets the window's messages reach its controls. Returns true when the
    // message was consumed; `lRes` is then the answer.
    bool PreMessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lRes);
    bool MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lRes);

    // The state of a control changed; the window's back-end peer mirrors it.
    void ControlChanged(CControlUI* control, ControlChange what);
    // Places the tree inside the client area: after a size change with the
    // new client rectangle, or when a control asked for it (NeedUpdate) with
    // the last one. NeedUpdate also tells the back end, so that a display
    // lays the window out and repaints it at once.
    void NeedUpdate();
    bool IsUpdateNeeded() const { return m_bUpdateNeeded; }
    void UpdateLayout(RECT client);
    void UpdateLayout();
    RECT GetClientRect() const { return m_rcClient; }

  private:
    struct MessageState;
    struct ResourceSource;
    void CaptureResourceSource();
    // Moves the hover to `control`: leave and enter events, state changes.
    void SetHover(CControlUI* control, POINT pt);

    HWND m_hWndPaint = nullptr;
    std::string m_sName;
    std::unique_ptr<CControlUI> m_pRoot;
    std::multimap<std::string, CControlUI*, std::less<>> m_nameIndex;
    CControlUI* m_pFocus = nullptr;
    SIZE m_szInitWindowSize;
    RECT m_rcCaption;
    SIZE m_szRoundCorner;
    SIZE m_szMinWindow;
    SIZE m_szMaxWindow;
    RECT m_rcSizeBox;
    bool m_bShadow = false;
    int m_nShadowSize = 0;
    std::string m_sShadowImage;
    std::map<std::string, std::string, std::less<>> m_windowAttributes;
    std::map<int, TFontInfo> m_fonts;
    TFontInfo m_defaultFont;
    std::map<std::string, std::string, std::less<>> m_defaultAttributes;
    std::unique_ptr<CDPI> m_pDPI;
    bool m_bUpdateNeeded = true;
    RECT m_rcClient;
    std::unique_ptr<MessageState> m_messages;  // notifiers, filters, timers
    std::shared_ptr<const ResourceSource> m_resources;
};

}  // namespace DuiLib
