#pragma once
// A list: a vertical layout of item elements, one of which may be selected.
// Items are CListContainerElementUI (an element holding controls) or
// CListLabelElementUI (an element showing one text); both carry user data.

#include "platform/duilib/UIContainer.h"
#include "platform/duilib/UILabel.h"

namespace DuiLib {

class CListUI;

// What the list needs of its items; GetInterface("ListItem") answers it.
class IListItemUI {
  public:
    virtual bool IsSelected() const = 0;
    virtual void SetSelectedState(bool selected) = 0;

  protected:
    ~IListItemUI() = default;
};

class CListUI : public CVerticalLayoutUI {
  public:
    std::string_view GetClass() const override;
    void* GetInterface(std::string_view name) override;

    bool RemoveAt(int index) override;
    bool Remove(CControlUI* control) override;
    void RemoveAll() override;

    // The selected item's index, -1 when none.
    int GetCurSel() const { return m_iCurSel; }
    // Selects item `index` and raises "itemselect" (wParam: new index,
    // lParam: old one) when the selection changed. False when out of range
    // or the child there is no list item.
    virtual bool SelectItem(int index);

    // The list an element belongs to (its parent), or null.
    static CListUI* OwnerOf(CControlUI* element);

  protected:
    int m_iCurSel = -1;
};
template <>
inline constexpr std::string_view kControlInterface<CListUI> = "List";

// What every list item shares over the control kind it is made of: its
// selected state (kept in step with the list), and a press and release
// inside it selecting it and raising "itemclick".
template <typename Base>
class CListElementT : public Base, public IListItemUI {
  public:
    bool IsSelected() const override { return m_bSelected; }
    void SetSelectedState(bool selected) override;
    void SetAttribute(std::string_view name, std::string_view value) override;
    void DoEvent(TEventUI& event) override;
    bool Activate() override;
    // Its kind's state, selected while the item is.
    TDrawState GetDrawState() const override;

  protected:
    bool m_bSelected = false;
    bool m_bPushed = false;
};

extern template class CListElementT<CContainerUI>;
extern template class CListElementT<CLabelUI>;

// A list item holding controls.
class CListContainerElementUI : public CListElementT<CContainerUI> {
  public:
    std::string_view GetClass() const override;
    void* GetInterface(std::string_view name) override;
};
template <>
inline constexpr std::string_view kControlInterface<CListContainerElementUI> = "ListContainerElement";

// A list item showing one text.
class CListLabelElementUI : public CListElementT<CLabelUI> {
  public:
    std::string_view GetClass() const override;
    void* GetInterface(std::string_view name) override;
};
template <>
inline constexpr std::string_view kControlInterface<CListLabelElementUI> = "ListLabelElement";

}  // namespace DuiLib
