#pragma once
// Containers: the plain container (children overlap its whole area), the
// vertical and horizontal layouts (children side by side), and the tab
// layouts (one child shown at a time). A container owns its children.

#include "platform/duilib/UIControl.h"

#include <memory>
#include <vector>

namespace DuiLib {

class CContainerUI : public CControlUI {
  public:
    CContainerUI() = default;
    ~CContainerUI() override;

    std::string_view GetClass() const override;
    void* GetInterface(std::string_view name) override;

    // Takes ownership and attaches the child to this container's window.
    // False when `control` is null or already has a parent (nothing
    // changes then; the caller keeps it). An index out of range appends.
    virtual bool Add(CControlUI* control);
    virtual bool AddAt(CControlUI* control, int index);
    // Deletes the child. False when it is not a child of this container.
    virtual bool Remove(CControlUI* control);
    virtual bool RemoveAt(int index);
    virtual void RemoveAll();
    int GetCount() const { return static_cast<int>(m_items.size()); }
    // Null when out of range.
    CControlUI* GetItemAt(int index) const;
    // -1 when not a child.
    int GetItemIndex(CControlUI* control) const;

    RECT GetInset() const { return m_rcInset; }
    void SetInset(RECT rc);
    int GetChildPadding() const { return m_iChildPadding; }
    void SetChildPadding(int padding);

    void SetAttribute(std::string_view name, std::string_view value) override;
    void SetManager(CPaintManagerUI* manager, CControlUI* parent, bool init = true) override;
    CControlUI* FindControlByName(std::string_view name) override;
    void ForEach(const std::function<void(CControlUI*)>& visit) override;
    void SetPos(RECT rc, bool needInvalidate = true) override;

  protected:
    // Takes the rectangle without placing the children (the layouts place
    // them their own way).
    void SetOwnPos(RECT rc, bool needInvalidate);
    // The area inside the inset where children go.
    RECT ContentRect(RECT rc) const;
    // Places a floating child at its `pos` relative to this control.
    void SetFloatPos(CControlUI* child) const;

    std::vector<std::unique_ptr<CControlUI>> m_items;
    RECT m_rcInset;
    int m_iChildPadding = 0;
};
template <>
inline constexpr std::string_view kControlInterface<CContainerUI> = "Container";

class CVerticalLayoutUI : public CContainerUI {
  public:
    std::string_view GetClass() const override;
    void* GetInterface(std::string_view name) override;
    void SetPos(RECT rc, bool needInvalidate = true) override;
};
template <>
inline constexpr std::string_view kControlInterface<CVerticalLayoutUI> = "VerticalLayout";

class CHorizontalLayoutUI : public CContainerUI {
  public:
    std::string_view GetClass() const override;
    void* GetInterface(std::string_view name) override;
    void SetPos(RECT rc, bool needInvalidate = true) override;
};
template <>
inline constexpr std::string_view kControlInterface<CHorizontalLayoutUI> = "HorizontalLayout";

class CTabLayoutUI : public CContainerUI {
  public:
    std::string_view GetClass() const override;
    void* GetInterface(std::string_view name) override;

    bool Add(CControlUI* control) override;
    bool AddAt(CControlUI* control, int index) override;
    bool Remove(CControlUI* control) override;
    bool RemoveAt(int index) override;
    void RemoveAll() override;

    // The selected child's index, -1 when there is none.
    int GetCurSel() const;
    // Shows child `index` and hides the others; raises "tabselect"
    // (wParam: new index, lParam: old one) when the selection changed.
    // False, and no change, when `index` is out of range.
    virtual bool SelectItem(int index);
    bool SelectItem(CControlUI* control);

    void SetAttribute(std::string_view name, std::string_view value) override;
    void SetPos(RECT rc, bool needInvalidate = true) override;

  protected:
    void ShowOnlySelected();

    int m_iCurSel = 0;
};
template <>
inline constexpr std::string_view kControlInterface<CTabLayoutUI> = "TabLayout";

// The same contract as the tab layout; the slide is only a look, so the
// selection changes at once.
class CAnimationTabLayoutUI : public CTabLayoutUI {
  public:
    std::string_view GetClass() const override;
    void* GetInterface(std::string_view name) override;
};
template <>
inline constexpr std::string_view kControlInterface<CAnimationTabLayoutUI> = "AnimationTabLayout";

}  // namespace DuiLib
