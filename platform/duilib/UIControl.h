#pragma once
// The base of every control: a plain object holding its state. A window's
// paint manager owns the tree; a back end, when one is attached, mirrors the
// state through the manager (see CPaintManagerUI::ControlChanged).

#include "platform/duilib/UIDefine.h"

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace DuiLib {

// Text alignment flags (the Windows DrawText values).
constexpr UINT DT_LEFT = 0x0000;
constexpr UINT DT_CENTER = 0x0001;
constexpr UINT DT_RIGHT = 0x0002;
constexpr UINT DT_VCENTER = 0x0004;
constexpr UINT DT_BOTTOM = 0x0008;
constexpr UINT DT_SINGLELINE = 0x0020;

// The input states a control is drawn in.
struct TDrawState {
    bool enabled = true;
    bool hot = false;       // the pointer is over it (an enabled control only)
    bool pushed = false;    // a press that started on it is held (an enabled control only)
    bool focused = false;   // it has its window's keyboard focus
    bool selected = false;  // a selected option or list item
    bool operator==(const TDrawState&) const = default;
};

// How a control's text is drawn.
struct TTextLook {
    int font = -1;  // an id of the layout's fonts (-1: the default font)
    DWORD color = 0xFF000000;
    UINT align = DT_LEFT | DT_VCENTER | DT_SINGLELINE;
    RECT padding;  // inside the control, in layout pixels (96 DPI)
    bool ellipsis = false;
    bool html = false;  // the text carries the labels' inline markup
    bool operator==(const TTextLook&) const = default;
};

// What changed on a control, for the back end's peer.
// State: the look of an input state (hot, pushed, focused, an edit's caret
// or selection) changed.
enum class ControlChange {
    Text,
    Visible,
    Enabled,
    Position,
    Image,
    Attribute,
    Value,
    Selection,
    Children,
    State
};

class CControlUI {
  public:
    CControlUI();
    virtual ~CControlUI();
    CControlUI(const CControlUI&) = delete;
    CControlUI& operator=(const CControlUI&) = delete;

    // The kind, as the layout element names it ("Control", "Button", ...).
    virtual std::string_view GetClass() const;
    // `this` when the control is of the kind `name` (or derives from it,
    // e.g. an option is a "Button" too), else null.
    virtual void* GetInterface(std::string_view name);

    const std::string& GetName() const { return m_sName; }
    void SetName(std::string_view name);

    virtual const std::string& GetText() const { return m_sText; }
    virtual void SetText(std::string_view text);

    const std::string& GetToolTip() const { return m_sToolTip; }
    void SetToolTip(std::string_view text) { m_sToolTip = text; }

    // Visible: the control's own flag. IsVisible() also needs every parent
    // visible, which is what a user would see.
    virtual bool IsVisible() const;
    bool IsOwnVisible() const { return m_bVisible; }
    virtual void SetVisible(bool visible = true);
    // The part of the control its parents leave in sight: each parent, the
    // window's root last, clips it. Empty when it lies outside them (a row
    // placed below a window that has shrunk).
    RECT GetShownRect() const;
    // Visible, and some of it in sight: what a user can see and reach.
    bool IsInSight() const;

    virtual bool IsEnabled() const { return m_bEnabled; }
    virtual void SetEnabled(bool enabled = true);

    // Focus within the window: the paint manager keeps the focused control.
    bool IsFocused() const;
    virtual void SetFocus();
    virtual bool IsKeyboardEnabled() const { return false; }

    // Position in window client coordinates, as the last layout pass (or
    // SetPos) placed it.
    const RECT& GetPos() const { return m_rcItem; }
    virtual void SetPos(RECT rc, bool needInvalidate = true);

    int GetFixedWidth() const { return m_cxyFixed.cx; }
    virtual void SetFixedWidth(int cx);
    // The client's windows call it by this name too.
    void SetControlWidth(int cx) { SetFixedWidth(cx); }
    int GetFixedHeight() const { return m_cxyFixed.cy; }
    virtual void SetFixedHeight(int cy);
    int GetMinWidth() const { return m_cxyMin.cx; }
    void SetMinWidth(int cx) { m_cxyMin.cx = cx; }
    int GetMinHeight() const { return m_cxyMin.cy; }
    void SetMinHeight(int cy) { m_cxyMin.cy = cy; }
    // Padding: the space kept around the control inside its parent.
    const RECT& GetPadding() const { return m_rcPadding; }
    virtual void SetPadding(RECT rc);
    bool IsFloat() const { return m_bFloat; }
    void SetFloat(bool on);
    // A floating control's place relative to its parent's top-left corner
    // (the layout's `pos`); its width and height are the fixed size.
    const RECT& GetFloatPos() const { return m_rcFloat; }
    void SetFloatPos(RECT rc);

    const std::string& GetUserData() const { return m_sUserData; }
    void SetUserData(std::string_view text) { m_sUserData = text; }
    UINT_PTR GetTag() const { return m_pTag; }
    void SetTag(UINT_PTR tag) { m_pTag = tag; }

    const std::string& GetBkImage() const { return m_sBkImage; }
    void SetBkImage(std::string_view image);
    DWORD GetBkColor() const { return m_dwBackColor; }
    void SetBkColor(DWORD color);

    // Sets one layout attribute by name. Known names change the state above;
    // every attribute, known or not, is also kept as written so that
    // GetAttribute returns it. Values that do not parse leave the state as
    // it was.
    virtual void SetAttribute(std::string_view name, std::string_view value);
    // The attribute as last set (from the layout or SetAttribute), or empty.
    std::string GetAttribute(std::string_view name) const;
    bool HasAttribute(std::string_view name) const;
    // Every attribute as written, by name.
    const std::map<std::string, std::string, std::less<>>& GetAttributes() const { return m_attributes; }
    // Every "name=\"value\"" pair of a text such as the layout's Default
    // elements carry, applied in order.
    void ApplyAttributeList(std::string_view list);

    CPaintManagerUI* GetManager() const { return m_pManager; }
    CControlUI* GetParent() const { return m_pParent; }
    // Attaches the control (and its children) to a window's manager.
    virtual void SetManager(CPaintManagerUI* manager, CControlUI* parent, bool init = true);
    virtual void Init();
    virtual void DoInit() {}

    // Finds a control in this subtree by name (this one included); null when
    // none. Containers search their children.
    virtual CControlUI* FindControlByName(std::string_view name);
    // Calls `visit` for this control and every descendant, depth first.
    virtual void ForEach(const std::function<void(CControlUI*)>& visit);

    // Input routed by the paint manager.
    virtual void DoEvent(TEventUI& event);
    // What a user's click does (raises the notifications a click raises).
    // Returns false when the control is disabled or hidden.
    virtual bool Activate();

    // Layout: the size the control wants inside `available`.
    virtual SIZE EstimateSize(SIZE available);
    void NeedUpdate();
    void NeedParentUpdate();
    void Invalidate();

    // ---- what the control is drawn with ---------------------------------------------
    // Decided here, so that the renderer only draws what the model chose and
    // the choice is tested without a display. UI thread.
    //
    // The state as the window's manager sees it now (hover, press, focus).
    virtual TDrawState GetDrawState() const;
    // The background colour in `state` (alpha 0: none): the layout's
    // "selectedbkcolor" or "hotbkcolor", then "disabledbkcolor", over the
    // plain one.
    DWORD GetStateBkColor(const TDrawState& state) const;
    // The image drawn over the background image in `state`; empty: none.
    virtual std::string GetStateImage(const TDrawState& state) const;
    // How the text is drawn in `state`. A plain control (a menu entry's
    // container) takes the attributes a label takes, as written.
    virtual TTextLook GetTextLook(const TDrawState& state) const;
    // The border's width in layout pixels (0: none) and its colour in
    // `state` ("focusbordercolor" while focused); no colour: no border.
    int GetBorderSize() const;
    std::optional<DWORD> GetStateBorderColor(const TDrawState& state) const;

  protected:
    void Changed(ControlChange what);
    // Raises a notification with this control as the sender when the
    // control belongs to a window; a detached control has no one to tell.
    void SendNotify(std::string_view type, WPARAM wParam = 0, LPARAM lParam = 0);
    // A length of the layout in this window's scale (96 DPI: unchanged).
    long Scaled(long value) const;
    RECT Scaled(RECT rc) const;
    bool IsPointInside(POINT pt) const;

    CPaintManagerUI* m_pManager = nullptr;
    CControlUI* m_pParent = nullptr;
    std::string m_sName;
    std::string m_sText;
    std::string m_sToolTip;
    std::string m_sUserData;
    std::string m_sBkImage;
    UINT_PTR m_pTag = 0;
    DWORD m_dwBackColor = 0;
    bool m_bVisible = true;
    bool m_bEnabled = true;
    bool m_bFloat = false;
    RECT m_rcFloat;
    RECT m_rcItem;
    RECT m_rcPadding;
    SIZE m_cxyFixed;
    SIZE m_cxyMin;
    std::map<std::string, std::string, std::less<>> m_attributes;
};

namespace detail {
template <typename T>
constexpr std::string_view UnnamedControlKind() {
    static_assert(sizeof(T) == 0, "kControlInterface<T> is not given beside T's class");
    return {};
}
}  // namespace detail

// The name a control kind answers GetInterface to, for lookups by type. Each
// kind gives it beside its class; a kind without one (a window's own control
// class, say) cannot be looked up by type, as it would be found as its base
// and cast wrongly: the lookup does not compile for it.
template <typename T>
inline constexpr std::string_view kControlInterface = detail::UnnamedControlKind<T>();
template <>
inline constexpr std::string_view kControlInterface<CControlUI> = "Control";

// `control` as the kind T when it is one or derives from it (an option is a
// button and a label too); null otherwise and for null.
template <typename T>
T* ControlCast(CControlUI* control) {
    return control != nullptr ? static_cast<T*>(control->GetInterface(kControlInterface<T>)) : nullptr;
}

}  // namespace DuiLib
