#include "platform/duilib/UIList.h"

#include "platform/duilib/UIRender.h"

namespace DuiLib {
namespace {

IListItemUI* AsItem(CControlUI* control) {
    return control != nullptr ? static_cast<IListItemUI*>(control->GetInterface("ListItem")) : nullptr;
}

// The click of a list item: select it in its list, then "itemclick".
void ClickItem(CControlUI* element, const std::function<void(std::string_view)>& notify) {
    if (CListUI* owner = CListUI::OwnerOf(element))
        owner->SelectItem(owner->GetItemIndex(element));
    notify(DUI_MSGTYPE_ITEMCLICK);
}

}  // namespace

// ---- CListUI -------------------------------------------------------------------

std::string_view CListUI::GetClass() const {
    return "List";
}

void* CListUI::GetInterface(std::string_view name) {
    return name == kControlInterface<CListUI> ? this : CVerticalLayoutUI::GetInterface(name);
}

CListUI* CListUI::OwnerOf(CControlUI* element) {
    if (element == nullptr || element->GetParent() == nullptr)
        return nullptr;
    return ControlCast<CListUI>(element->GetParent());
}

bool CListUI::Remove(CControlUI* control) {
    return RemoveAt(GetItemIndex(control));
}

bool CListUI::RemoveAt(int index) {
    if (!CVerticalLayoutUI::RemoveAt(index))
        return false;
    if (index == m_iCurSel)
        m_iCurSel = -1;
    else if (index < m_iCurSel)
        --m_iCurSel;
    return true;
}

void CListUI::RemoveAll() {
    CVerticalLayoutUI::RemoveAll();
    m_iCurSel = -1;
}

bool CListUI::SelectItem(int index) {
    IListItemUI* item = AsItem(GetItemAt(index));
    if (item == nullptr)
        return false;
    const int old = m_iCurSel;
    if (index == old)
        return true;
    if (IListItemUI* previous = AsItem(GetItemAt(old)))
        previous->SetSelectedState(false);
    item->SetSelectedState(true);
    m_iCurSel = index;
    Changed(ControlChange::Selection);
    SendNotify(DUI_MSGTYPE_ITEMSELECT, static_cast<WPARAM>(index), static_cast<LPARAM>(old));
    return true;
}

// ---- list items ------------------------------------------------------------------

template <typename Base>
void CListElementT<Base>::SetSelectedState(bool selected) {
    if (selected == m_bSelected)
        return;
    m_bSelected = selected;
    this->Changed(ControlChange::Selection);
}

template <typename Base>
void CListElementT<Base>::SetAttribute(std::string_view name, std::string_view value) {
    if (name == "selected") {
        // Through the list, so that its selection index agrees.
        if (auto on = ParseBool(value); on && *on) {
            if (CListUI* owner = CListUI::OwnerOf(this))
                owner->SelectItem(owner->GetItemIndex(this));
            else
                SetSelectedState(true);
        }
    }
    Base::SetAttribute(name, value);
}

template <typename Base>
void CListElementT<Base>::DoEvent(TEventUI& event) {
    if (event.Type == UIEVENT_BUTTONDOWN || event.Type == UIEVENT_DBLCLICK) {
        m_bPushed = this->IsEnabled() && this->IsPointInside(event.ptMouse);
        return;
    }
    if (event.Type == UIEVENT_BUTTONUP) {
        const bool wasPushed = m_bPushed;
        m_bPushed = false;
        if (wasPushed && this->IsPointInside(event.ptMouse))
            Activate();
        return;
    }
    Base::DoEvent(event);
}

template <typename Base>
bool CListElementT<Base>::Activate() {
    if (!Base::Activate())
        return false;
    ClickItem(this, [this](std::string_view type) { this->SendNotify(type); });
    return true;
}

template <typename Base>
TDrawState CListElementT<Base>::GetDrawState() const {
    TDrawState state = Base::GetDrawState();
    state.selected = m_bSelected;
    return state;
}

template class CListElementT<CContainerUI>;
template class CListElementT<CLabelUI>;

std::string_view CListContainerElementUI::GetClass() const {
    return "ListContainerElement";
}

void* CListContainerElementUI::GetInterface(std::string_view name) {
    if (name == "ListItem")
        return static_cast<IListItemUI*>(this);
    return name == kControlInterface<CListContainerElementUI> ? this : CContainerUI::GetInterface(name);
}

std::string_view CListLabelElementUI::GetClass() const {
    return "ListLabelElement";
}

void* CListLabelElementUI::GetInterface(std::string_view name) {
    if (name == "ListItem")
        return static_cast<IListItemUI*>(this);
    return name == kControlInterface<CListLabelElementUI> ? this : CLabelUI::GetInterface(name);
}

}  // namespace DuiLib
