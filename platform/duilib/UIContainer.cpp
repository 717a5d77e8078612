#include "platform/duilib/UIContainer.h"

#include "platform/duilib/UIManager.h"
#include "platform/duilib/UIRender.h"

#include <algorithm>

namespace DuiLib {

// ---- CContainerUI ------------------------------------------------------------

CContainerUI::~CContainerUI() {
    // Out of the list first, then destroyed, and without change reports: a
    // back end has nothing to mirror on a container that is going away.
    std::vector<std::unique_ptr<CControlUI>> items = std::move(m_items);
    m_items.clear();
    items.clear();
}

std::string_view CContainerUI::GetClass() const {
    return "Container";
}

void* CContainerUI::GetInterface(std::string_view name) {
    return name == kControlInterface<CContainerUI> ? this : CControlUI::GetInterface(name);
}

bool CContainerUI::Add(CControlUI* control) {
    return AddAt(control, GetCount());
}

bool CContainerUI::AddAt(CControlUI* control, int index) {
    // A control with a parent is owned there already (a child's parent is
    // its container exactly while it is in that container's list).
    if (control == nullptr || control == this || control->GetParent() != nullptr)
        return false;
    if (index < 0 || index > GetCount())
        index = GetCount();
    m_items.insert(m_items.begin() + index, std::unique_ptr<CControlUI>(control));
    control->SetManager(m_pManager, this, true);
    Changed(ControlChange::Children);
    NeedUpdate();
    return true;
}

bool CContainerUI::Remove(CControlUI* control) {
    return RemoveAt(GetItemIndex(control));
}

bool CContainerUI::RemoveAt(int index) {
    if (index < 0 || index >= GetCount())
        return false;
    // Out of the list first, then destroyed: the child's destructor may look
    // at the tree.
    std::unique_ptr<CControlUI> child = std::move(m_items[static_cast<std::size_t>(index)]);
    m_items.erase(m_items.begin() + index);
    child.reset();
    Changed(ControlChange::Children);
    NeedUpdate();
    return true;
}

void CContainerUI::RemoveAll() {
    if (m_items.empty())
        return;
    std::vector<std::unique_ptr<CControlUI>> items = std::move(m_items);
    m_items.clear();
    items.clear();
    Changed(ControlChange::Children);
    NeedUpdate();
}

CControlUI* CContainerUI::GetItemAt(int index) const {
    if (index < 0 || index >= GetCount())
        return nullptr;
    return m_items[static_cast<std::size_t>(index)].get();
}

int CContainerUI::GetItemIndex(CControlUI* control) const {
    for (std::size_t i = 0; i < m_items.size(); ++i) {
        if (m_items[i].get() == control)
            return static_cast<int>(i);
    }
    return -1;
}

void CContainerUI::SetInset(RECT rc) {
    m_rcInset = rc;
    NeedUpdate();
}

void CContainerUI::SetChildPadding(int padding) {
    m_iChildPadding = padding;
    NeedUpdate();
}

void CContainerUI::SetAttribute(std::string_view name, std::string_view value) {
    if (name == "inset") {
        if (auto rc = ParseRect(value))
            SetInset(*rc);
    } else if (name == "childpadding") {
        if (auto padding = ParseInt(value))
            SetChildPadding(*padding);
    }
    CControlUI::SetAttribute(name, value);
}

void CContainerUI::SetManager(CPaintManagerUI* manager, CControlUI* parent, bool init) {
    CControlUI::SetManager(manager, parent, init);
    for (auto& item : m_items)
        item->SetManager(manager, this, init);
}

CControlUI* CContainerUI::FindControlByName(std::string_view name) {
    if (CControlUI* self = CControlUI::FindControlByName(name))
        return self;
    for (auto& item : m_items) {
        if (CControlUI* found = item->FindControlByName(name))
            return found;
    }
    return nullptr;
}

void CContainerUI::ForEach(const std::function<void(CControlUI*)>& visit) {
    visit(this);
    for (auto& item : m_items)
        item->ForEach(visit);
}

void CContainerUI::SetOwnPos(RECT rc, bool needInvalidate) {
    CControlUI::SetPos(rc, needInvalidate);
}

RECT CContainerUI::ContentRect(RECT rc) const {
    const RECT inset = Scaled(m_rcInset);
    rc.left += inset.left;
    rc.top += inset.top;
    rc.right -= inset.right;
    rc.bottom -= inset.bottom;
    if (rc.right < rc.left)
        rc.right = rc.left;
    if (rc.bottom < rc.top)
        rc.bottom = rc.top;
    return rc;
}

void CContainerUI::SetFloatPos(CControlUI* child) const {
    const RECT pos = Scaled(child->GetFloatPos());
    SIZE size = child->EstimateSize(SIZE{m_rcItem.Width(), m_rcItem.Height()});
    if (size.cx <= 0)
        size.cx = pos.right - pos.left;
    if (size.cy <= 0)
        size.cy = pos.bottom - pos.top;
    const long left = m_rcItem.left + pos.left;
    const long top = m_rcItem.top + pos.top;
    child->SetPos(RECT{left, top, left + std::max(0L, size.cx), top + std::max(0L, size.cy)});
}

void CContainerUI::SetPos(RECT rc, bool needInvalidate) {
    CControlUI::SetPos(rc, needInvalidate);
    const RECT area = ContentRect(m_rcItem);
    for (auto& item : m_items) {
        if (!item->IsOwnVisible())
            continue;
        if (item->IsFloat()) {
            SetFloatPos(item.get());
            continue;
        }
        const RECT pad = Scaled(item->GetPadding());
        item->SetPos(
            RECT{area.left + pad.left, area.top + pad.top, area.right - pad.right, area.bottom - pad.bottom},
            needInvalidate);
    }
}

// ---- the box layouts -----------------------------------------------------------
namespace {

// One axis of a box layout: `along` is the axis the children share,
// `across` the other one. Written once for both layouts.
struct Axis {
    bool vertical;
    long Along(SIZE s) const { return vertical ? s.cy : s.cx; }
    long Across(SIZE s) const { return vertical ? s.cx : s.cy; }
    long PadBefore(RECT r) const { return vertical ? r.top : r.left; }
    long PadAfter(RECT r) const { return vertical ? r.bottom : r.right; }
    long CrossBefore(RECT r) const { return vertical ? r.left : r.top; }
    long CrossAfter(RECT r) const { return vertical ? r.right : r.bottom; }
};

}  // namespace

static void LayoutBox(const Axis& axis, const RECT& area, int childPadding,
                      std::vector<std::unique_ptr<CControlUI>>& items, const std::function<RECT(RECT)>& scale,
                      const std::function<void(CControlUI*)>& placeFloat,
                      const std::function<long(long)>& scaleLength, bool needInvalidate) {
    const SIZE available{area.Width(), area.Height()};
    const long alongAvailable = axis.Along(available);
    const long acrossAvailable = axis.Across(available);
    std::vector<SIZE> estimates(items.size());
    long fixedTotal = 0;
    int adjustables = 0;
    int placed = 0;
    for (std::size_t i = 0; i < items.size(); ++i) {
        CControlUI* child = items[i].get();
        if (!child->IsOwnVisible() || child->IsFloat())
            continue;
        estimates[i] = child->EstimateSize(available);
        const RECT pad = scale(child->GetPadding());
        fixedTotal += axis.PadBefore(pad) + axis.PadAfter(pad);
        long along = axis.Along(estimates[i]);
        if (along == 0) {
            ++adjustables;
        } else {
            const long minimum = scaleLength(axis.vertical ? child->GetMinHeight() : child->GetMinWidth());
            fixedTotal += std::max(along, minimum);
        }
        ++placed;
    }
    if (placed > 1)
        fixedTotal += static_cast<long>(childPadding) * (placed - 1);

    const long spare = std::max(0L, alongAvailable - fixedTotal);
    const long share = adjustables > 0 ? spare / adjustables : 0;
    long remainder = adjustables > 0 ? spare % adjustables : 0;

    long cursor = axis.vertical ? area.top : area.left;
    for (std::size_t i = 0; i < items.size(); ++i) {
        CControlUI* child = items[i].get();
        if (!child->IsOwnVisible())
            continue;
        if (child->IsFloat()) {
            placeFloat(child);
            continue;
        }
        const RECT pad = scale(child->GetPadding());
        long along = axis.Along(estimates[i]);
        const long minAlong = scaleLength(axis.vertical ? child->GetMinHeight() : child->GetMinWidth());
        if (along == 0) {
            along = share;
            // The last auto-sized child takes what the division left over,
            // so the children fill the layout exactly.
            if (--adjustables == 0) {
                along += remainder;
                remainder = 0;
            }
        }
        along = std::max(along, minAlong);
        const long crossRoom = std::max(0L, acrossAvailable - axis.CrossBefore(pad) - axis.CrossAfter(pad));
        // Across the layout only a fixed size counts: a label's text height
        // does not keep it from filling a row.
        long across = scaleLength(axis.vertical ? child->GetFixedWidth() : child->GetFixedHeight());
        if (across <= 0 || across > crossRoom)
            across = crossRoom;
        across = std::max(across, scaleLength(axis.vertical ? child->GetMinWidth() : child->GetMinHeight()));

        cursor += axis.PadBefore(pad);
        RECT rc;
        if (axis.vertical) {
            rc = RECT{area.left + pad.left, cursor, area.left + pad.left + across, cursor + along};
        } else {
            rc = RECT{cursor, area.top + pad.top, cursor + along, area.top + pad.top + across};
        }
        child->SetPos(rc, needInvalidate);
        cursor += along + axis.PadAfter(pad) + childPadding;
    }
}

std::string_view CVerticalLayoutUI::GetClass() const {
    return "VerticalLayout";
}

void* CVerticalLayoutUI::GetInterface(std::string_view name) {
    return name == kControlInterface<CVerticalLayoutUI> ? this : CContainerUI::GetInterface(name);
}

void CVerticalLayoutUI::SetPos(RECT rc, bool needInvalidate) {
    SetOwnPos(rc, needInvalidate);
    LayoutBox(
        Axis{true}, ContentRect(m_rcItem), static_cast<int>(Scaled(m_iChildPadding)), m_items,
        [this](RECT r) { return Scaled(r); }, [this](CControlUI* c) { SetFloatPos(c); },
        [this](long v) { return Scaled(v); }, needInvalidate);
}

std::string_view CHorizontalLayoutUI::GetClass() const {
    return "HorizontalLayout";
}

void* CHorizontalLayoutUI::GetInterface(std::string_view name) {
    return name == kControlInterface<CHorizontalLayoutUI> ? this : CContainerUI::GetInterface(name);
}

void CHorizontalLayoutUI::SetPos(RECT rc, bool needInvalidate) {
    SetOwnPos(rc, needInvalidate);
    LayoutBox(
        Axis{false}, ContentRect(m_rcItem), static_cast<int>(Scaled(m_iChildPadding)), m_items,
        [this](RECT r) { return Scaled(r); }, [this](CControlUI* c) { SetFloatPos(c); },
        [this](long v) { return Scaled(v); }, needInvalidate);
}

// ---- CTabLayoutUI --------------------------------------------------------------

std::string_view CTabLayoutUI::GetClass() const {
    return "TabLayout";
}

void* CTabLayoutUI::GetInterface(std::string_view name) {
    return name == kControlInterface<CTabLayoutUI> ? this : CContainerUI::GetInterface(name);
}

bool CTabLayoutUI::Add(CControlUI* control) {
    return AddAt(control, GetCount());
}

bool CTabLayoutUI::AddAt(CControlUI* control, int index) {
    const int countBefore = GetCount();
    if (!CContainerUI::AddAt(control, index))
        return false;
    // Keep the selected child selected when one is inserted before it.
    const int at = (index < 0 || index > countBefore) ? countBefore : index;
    if (countBefore > 0 && at <= m_iCurSel && m_iCurSel < countBefore)
        ++m_iCurSel;
    ShowOnlySelected();
    return true;
}

bool CTabLayoutUI::Remove(CControlUI* control) {
    return RemoveAt(GetItemIndex(control));
}

bool CTabLayoutUI::RemoveAt(int index) {
    if (!CContainerUI::RemoveAt(index))
        return false;
    if (index < m_iCurSel)
        --m_iCurSel;
    else if (index == m_iCurSel)
        m_iCurSel = 0;
    ShowOnlySelected();
    return true;
}

void CTabLayoutUI::RemoveAll() {
    CContainerUI::RemoveAll();
    m_iCurSel = 0;
}

int CTabLayoutUI::GetCurSel() const {
    return m_iCurSel >= 0 && m_iCurSel < GetCount() ? m_iCurSel : -1;
}

bool CTabLayoutUI::SelectItem(int index) {
    if (index < 0 || index >= GetCount())
        return false;
    const int old = GetCurSel();
    m_iCurSel = index;
    ShowOnlySelected();
    if (index == old)
        return true;
    Changed(ControlChange::Selection);
    NeedUpdate();
    SendNotify(DUI_MSGTYPE_TABSELECT, static_cast<WPARAM>(index), static_cast<LPARAM>(old));
    return true;
}

bool CTabLayoutUI::SelectItem(CControlUI* control) {
    return SelectItem(GetItemIndex(control));
}

void CTabLayoutUI::SetAttribute(std::string_view name, std::string_view value) {
    if (name == "selectedid") {
        if (auto index = ParseInt(value); index && *index >= 0) {
            if (*index < GetCount()) {
                SelectItem(*index);
            } else if (GetCount() == 0) {
                // Named before the children exist: the one added at that
                // index will be shown. Out of range among existing
                // children, it changes nothing, as SelectItem would not.
                m_iCurSel = *index;
            }
        }
    }
    CContainerUI::SetAttribute(name, value);
}

void CTabLayoutUI::SetPos(RECT rc, bool needInvalidate) {
    CContainerUI::SetPos(rc, needInvalidate);
}

void CTabLayoutUI::ShowOnlySelected() {
    for (int i = 0; i < GetCount(); ++i)
        m_items[static_cast<std::size_t>(i)]->SetVisible(i == m_iCurSel);
}

// ---- CAnimationTabLayoutUI ---------------------------------------------------

std::string_view CAnimationTabLayoutUI::GetClass() const {
    return "AnimationTabLayout";
}

void* CAnimationTabLayoutUI::GetInterface(std::string_view name) {
    return name == kControlInterface<CAnimationTabLayoutUI> ? this : CTabLayoutUI::GetInterface(name);
}

}  // namespace DuiLib
