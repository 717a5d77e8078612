#include "ui/BaseFrame.h"

#include "platform/duilib/ModalScope.h"
#include "platform/duilib/UIContainer.h"
#include "platform/duilib/UIDPI.h"
#include "platform/duilib/UIManager.h"
#include "platform/os/DebugPrint.h"

#include <algorithm>
#include <atomic>

using namespace DuiLib;

namespace {

// Above this the main monitor counts as high DPI (175 % and more).
constexpr int kHighDpiThreshold = 167;

std::vector<CBaseFrame*>& TopFrameList() {
    static std::vector<CBaseFrame*> frames;  // UI thread only
    return frames;
}

// -1 until read; the main monitor's DPI does not change while we run.
std::atomic<int> g_mainMonitorDpi{-1};

}  // namespace

CBaseFrame::CBaseFrame() = default;

CBaseFrame::~CBaseFrame() {
    // A frame deleted without its window going first (creation failed, or a
    // caller deleted it) must not stay reachable from any list.
    if (CMenuWnd::GetGlobalContextMenuObserver().GetMenuCheckInfo() == &m_menuItems)
        CMenuWnd::GetGlobalContextMenuObserver().SetMenuCheckInfo(nullptr);
    auto& frames = TopFrameList();
    frames.erase(std::remove(frames.begin(), frames.end(), this), frames.end());
    for (CBaseFrame* child : m_children)
        if (child->m_owner == this)
            child->m_owner = nullptr;
    m_children.clear();
    DetachOwner();
}

std::string CBaseFrame::GetSkinFolder() {
    return CPaintManagerUI::GetInstancePath() + "skin/";
}

LRESULT CBaseFrame::OnCreate(UINT, WPARAM, LPARAM, bool&) {
    // The skin draws the caption: drop it, clip children and siblings, and
    // let the frame change take effect with the client area as the window.
    const auto style = static_cast<DWORD>(::GetWindowLongW(m_hWnd, GWL_STYLE));
    ::SetWindowLongW(m_hWnd, GWL_STYLE,
                     static_cast<long>((style & ~WS_CAPTION) | WS_CLIPSIBLINGS | WS_CLIPCHILDREN));
    RECT client{};
    ::GetClientRect(m_hWnd, &client);
    ::SetWindowPos(m_hWnd, nullptr, client.left, client.top, client.Width(), client.Height(),
                   SWP_FRAMECHANGED);

    m_pm.Init(m_hWnd, GetSkinFile());
    m_pm.AddPreMessageFilter(this);
    CPaintManagerUI::SetResourcePath(GetSkinFolder());

    CControlUI* root = nullptr;
    if (HasFlag(kFlagCustomRoot)) {
        root = CreateRootControl();
    } else {
        IDialogBuilderCallback* callback = m_builderCallback != nullptr
                                               ? static_cast<IDialogBuilderCallback*>(m_builderCallback.get())
                                               : static_cast<IDialogBuilderCallback*>(this);
        root = m_builder.Create(GetSkinFile(), {}, callback, &m_pm);
    }
    return AttachLayout(root);
}

void CBaseFrame::Notify(TNotifyUI& msg) {
    if (msg.sType == DUI_MSGTYPE_WINDOWINIT) {
        m_initialised = true;
        OnWindowInit();
    } else if (msg.sType == DUI_MSGTYPE_CLICK) {
        OnClick(msg);
    } else if (msg.sType == DUI_MSGTYPE_SELECTCHANGED) {
        OnSelectChanged(msg);
    } else if (msg.sType == DUI_MSGTYPE_ITEMSELECT) {
        OnItemSelect(msg);
    } else {
        WindowImplBase::Notify(msg);
    }
}

void CBaseFrame::OnClick(TNotifyUI& msg) {
    const std::string name = msg.pSender != nullptr ? msg.pSender->GetName() : std::string();
    if (name == "btnClose")
        CloseFrame(1);
    else if (name == "btnMax")
        SendMessage(WM_SYSCOMMAND, SC_MAXIMIZE, 0);
    else if (name == "btnMin")
        SendMessage(WM_SYSCOMMAND, SC_MINIMIZE, 0);
    else if (name == "sysMenu")
        OnSysMenu(msg);
    else
        WindowImplBase::OnClick(msg);
}

LRESULT CBaseFrame::HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) {
    if (uMsg == WM_SHOWWINDOW)
        OnShowWindow(wParam != 0);
    else if (uMsg == WM_DROPFILES)
        OnDropFiles(wParam);
    else if (uMsg == WM_MENUCLICK)
        OnMenuCommand(wParam);
    return WindowImplBase::HandleCustomMessage(uMsg, wParam, lParam, bHandled);
}

void CBaseFrame::OnShowWindow(bool show) {
    if (!show)
        HideChildren();
}

LRESULT CBaseFrame::OnKeyDown(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) {
    if (wParam != VK_BACK && wParam != VK_ESCAPE)
        bHandled = false;
    return WindowImplBase::OnKeyDown(uMsg, wParam, lParam, bHandled);
}

LRESULT CBaseFrame::ResponseDefaultKeyEvent(WPARAM wParam) {
    if (wParam != VK_ESCAPE)
        return FALSE;
    if (!HasFlag(kFlagNoEscape))
        CloseFrame(1);
    return TRUE;
}

LRESULT CBaseFrame::OnSysCommand(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) {
    if (HasFlag(kFlagNoSysCommand))
        return 0;
    if ((wParam & 0xFFF0) != SC_CLOSE)
        return WindowImplBase::OnSysCommand(uMsg, wParam, lParam, bHandled);
    if (HasFlag(kFlagNoSysClose))
        return 0;
    const auto visible = std::count_if(TopFrameList().begin(), TopFrameList().end(),
                                       [](const CBaseFrame* f) { return ::IsWindowVisible(f->GetHWND()); });
    if (KeepsCloseWithOtherFrames() && visible > 1)
        return 0;
    return WindowImplBase::OnSysCommand(uMsg, wParam, lParam, bHandled);
}

LRESULT CBaseFrame::OnClose(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) {
    m_modalOwner = m_owner;
    if (HasFlag(kFlagModal))
        RestoreDisabledParents();
    return WindowImplBase::OnClose(uMsg, wParam, lParam, bHandled);
}

LRESULT CBaseFrame::OnDestroy(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) {
    UnregisterTopFrame(this, false);
    CloseChildren();
    DetachOwner();
    return WindowImplBase::OnDestroy(uMsg, wParam, lParam, bHandled);
}

void CBaseFrame::OnFinalMessage(HWND hWnd) {
    WindowImplBase::OnFinalMessage(hWnd);
    delete this;  // frames are not kept by their creators once their window is gone
}

void CBaseFrame::QuitApplication() {
    m_popupMenu.reset();
    ::PostQuitMessage(0);
}

void CBaseFrame::SendNotifyTo(CControlUI* control, std::string_view type) {
    m_pm.SendNotify(control, type);
}

void CBaseFrame::SendNotifyByName(std::string_view name, std::string_view type) {
    if (CControlUI* control = m_pm.FindControl(name))
        m_pm.SendNotify(control, type);
}

CControlUI* CBaseFrame::FindControl(std::string_view name) const {
    return m_pm.FindControl(name);
}

CControlUI* CBaseFrame::FindSubControl(CControlUI* parent, std::string_view name) const {
    return parent != nullptr ? m_pm.FindSubControlByName(parent, name) : nullptr;
}

bool CBaseFrame::SelectTab(int index, std::string_view tabName, bool animated) {
    // The animated tab layout changes its selection at once too (the slide
    // is only a look), so both kinds answer to the tab layout's interface.
    (void)animated;
    auto* tab = m_pm.FindControl<CTabLayoutUI>(tabName);
    return tab != nullptr && tab->SelectItem(index);
}

int CBaseFrame::GetTabSelection(std::string_view tabName) const {
    const auto* tab = m_pm.FindControl<CTabLayoutUI>(tabName);
    return tab != nullptr ? tab->GetCurSel() : -1;
}

bool CBaseFrame::SetSubControlText(CControlUI* parent, std::string_view name, std::string_view text) {
    CControlUI* control = FindSubControl(parent, name);
    if (control == nullptr)
        return false;
    control->SetText(text);
    return true;
}

bool CBaseFrame::ShowPopupMenu(std::string_view layout, const POINT* point, int alignment) {
    // The previous menu is ours (the library's menu belongs to its creator).
    m_popupMenu.reset();
    m_popupMenu = std::make_unique<CMenuWnd>();
    CMenuWnd::GetGlobalContextMenuObserver().SetMenuCheckInfo(&m_menuItems);
    POINT at{};
    if (point != nullptr)
        at = *point;
    else
        ::GetCursorPos(&at);
    if (alignment == 0)
        at.x -= m_menuOffset / 2;
    else if (alignment == 2)
        at.x -= m_menuOffset;
    at.x = std::max<long>(at.x, 0);
    return m_popupMenu->Init(nullptr, layout, at, &m_pm, kMenuStyle);
}

bool CBaseFrame::SetWindowPosition(int x, int y, int cx, int cy, UINT flags) {
    return ::SetWindowPos(m_hWnd, nullptr, x, y, cx, cy, flags) != FALSE;
}

bool CBaseFrame::IsTopmost() const {
    return ::IsWindow(m_hWnd) &&
           (static_cast<DWORD>(::GetWindowLongW(m_hWnd, GWL_EXSTYLE)) & WS_EX_TOPMOST) != 0;
}

void CBaseFrame::SetTopmost(bool on) {
    ::SetWindowPos(m_hWnd, on ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void CBaseFrame::BringToFront() {
    ::SetWindowPos(m_hWnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    ::SetForegroundWindow(m_hWnd);
    ::SetActiveWindow(m_hWnd);
}

HWND CBaseFrame::OwnerWindow() const {
    if (m_owner != nullptr && ::IsWindow(m_owner->GetHWND()))
        return m_owner->GetHWND();
    return ::GetWindowOwner(m_hWnd);
}

void CBaseFrame::CenterOnOwner() {
    RECT window{};
    if (!::GetWindowRect(m_hWnd, &window))
        return;
    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    RECT reference = work;
    const HWND owner = OwnerWindow();
    RECT ownerRect{};
    if (owner != nullptr && ::GetWindowRect(owner, &ownerRect))
        reference = ownerRect;
    const long width = window.Width();
    const long height = window.Height();
    // The right (bottom) edge is pulled in first, the left (top) edge wins:
    // a window larger than the work area starts at its left (top) edge.
    long x = (reference.left + reference.right) / 2 - width / 2;
    if (x + width > work.right)
        x = work.right - width;
    if (x < work.left)
        x = work.left;
    long y = (reference.top + reference.bottom) / 2 - height / 2;
    if (y + height > work.bottom)
        y = work.bottom - height;
    if (y < work.top)
        y = work.top;
    ::SetWindowPos(m_hWnd, nullptr, static_cast<int>(x), static_cast<int>(y), 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool CBaseFrame::ShowFrame(bool show) {
    if (!::IsWindow(m_hWnd))
        return false;
    if (HasFlag(kFlagModal)) {
        const HWND owner = OwnerWindow();
        if (show) {
            m_disabledParents.clear();
            for (HWND parent = ::GetParent(m_hWnd); parent != nullptr; parent = ::GetParent(parent)) {
                if (std::any_of(m_disabledParents.begin(), m_disabledParents.end(),
                                [parent](const auto& entry) { return entry.first == parent; }))
                    break;  // an ownership cycle cannot occur, but a loop here would hang the UI
                m_disabledParents.emplace_back(parent, ::IsWindowEnabled(parent) != FALSE);
            }
            // An owning frame that is not the window's own owner is
            // recorded as well, or closing would leave it disabled.
            if (owner != nullptr && std::none_of(m_disabledParents.begin(), m_disabledParents.end(),
                                                 [owner](const auto& entry) { return entry.first == owner; }))
                m_disabledParents.emplace_back(owner, ::IsWindowEnabled(owner) != FALSE);
            if (owner != nullptr)
                ::EnableWindow(owner, FALSE);
        } else {
            if (owner != nullptr) {
                ::EnableWindow(owner, TRUE);
                ::SetFocus(owner);
            }
            m_disabledParents.clear();
        }
    }
    if (show) {
        m_modalOwner = this;
        if (HasFlag(kFlagCentre))
            CenterOnOwner();
        BringToFront();
    } else {
        HideChildren();
    }
    ::ShowWindow(m_hWnd, show ? SW_SHOW : SW_HIDE);
    return true;
}

void CBaseFrame::RestoreDisabledParents() {
    for (const auto& [hwnd, wasEnabled] : m_disabledParents)
        if (wasEnabled && ::IsWindow(hwnd))
            ::EnableWindow(hwnd, TRUE);
    m_disabledParents.clear();
}

UINT CBaseFrame::DoModal() {
    const HWND hwnd = m_hWnd;
    if (!::IsWindow(hwnd))
        return 0;
    const bool byExistence = IsModalByExistence();
    m_modalOwner = this;
    ShowFrame(true);
    // From here on only locals after a dispatch: the frame deletes itself
    // when its window goes, which ends the loop through the test below.
    auto running = [hwnd, byExistence] { return byExistence ? ::IsWindow(hwnd) : ::IsWindowVisible(hwnd); };
    UINT result = 0;
    HWND parentToClose = nullptr;
    WPARAM parentCloseCode = 0;
    // The owners were disabled by ShowFrame, which records them: the scope
    // itself disables none.
    DuiLib::ModalScope scope;
    scope.Run([&] { return !running(); },
              [&](const MSG& msg) {
                  if (msg.message == WM_CLOSE && msg.hwnd == hwnd) {
                      result = static_cast<UINT>(msg.wParam);
                      return DuiLib::ModalStep::End;
                  }
                  if (msg.message == WM_CLOSE &&
                      std::any_of(m_disabledParents.begin(), m_disabledParents.end(),
                                  [&msg](const auto& entry) { return entry.first == msg.hwnd; })) {
                      // A parent asked to close while we run: we end first
                      // (enabling it again), then it gets its close.
                      parentToClose = msg.hwnd;
                      parentCloseCode = msg.wParam;
                      result = 0;
                      return DuiLib::ModalStep::End;
                  }
                  return DuiLib::ModalStep::Dispatch;
              });
    if (running())
        ::PostMessageW(hwnd, WM_CLOSE, 1, 0);
    if (parentToClose != nullptr)
        ::PostMessageW(parentToClose, WM_CLOSE, parentCloseCode, 0);
    return result;
}

void CBaseFrame::CloseFrame(UINT code) {
    Close(code);
}

bool CBaseFrame::IsHighDpi() const {
    int dpi = g_mainMonitorDpi.load();
    if (dpi < 0) {
        dpi = CDPI::GetMainMonitorDPI();
        g_mainMonitorDpi.store(dpi);
    }
    return dpi > kHighDpiThreshold;
}

void CBaseFrame::ResetMainMonitorDpiCache() {
    g_mainMonitorDpi.store(-1);
}

void CBaseFrame::DestroyFrame() {
    if (!::IsWindow(m_hWnd))
        return;
    // The close destroys the window, and the window's final message deletes
    // this object: nothing of it is touched afterwards (the handle is
    // forgotten by the window layer itself).
    HandleMessage(WM_CLOSE, 1, 0);
}

void CBaseFrame::SetBuilderCallback(std::unique_ptr<BuilderCallback> callback) {
    m_builderCallback = std::move(callback);
}

void CBaseFrame::SetOwner(CBaseFrame* owner, bool link) {
    if (owner == m_owner)
        return;
    DetachOwner();
    m_owner = owner;
    if (link && owner != nullptr)
        owner->AddChild(this, false);
}

void CBaseFrame::DetachOwner() {
    CBaseFrame* owner = std::exchange(m_owner, nullptr);
    if (owner != nullptr)
        owner->RemoveChild(this);
}

void CBaseFrame::AddChild(CBaseFrame* child, bool link) {
    if (child == nullptr || child == this)
        return;
    if (IndexOfChild(child) < 0)
        m_children.push_back(child);
    if (link && child->m_owner != this) {
        child->DetachOwner();
        child->m_owner = this;
    }
}

void CBaseFrame::RemoveChild(CBaseFrame* child) {
    const int index = IndexOfChild(child);
    if (index < 0)
        return;
    m_children[static_cast<std::size_t>(index)] = m_children.back();
    m_children.pop_back();
    if (child->m_owner == this)
        child->m_owner = nullptr;
}

int CBaseFrame::IndexOfChild(const CBaseFrame* child) const {
    const auto it = std::find(m_children.begin(), m_children.end(), child);
    return it == m_children.end() ? -1 : static_cast<int>(it - m_children.begin());
}

void CBaseFrame::CloseChildren() {
    // The children outlive this frame by a message or two: they forget it
    // now so that their own destruction does not reach back into it.
    std::vector<CBaseFrame*> children;
    children.swap(m_children);
    for (CBaseFrame* child : children) {
        if (child->m_owner == this)
            child->m_owner = nullptr;
        child->CloseFrame(1);
    }
}

void CBaseFrame::HideChildren() {
    for (CBaseFrame* child : m_children)
        if (::IsWindowVisible(child->GetHWND()) && child->AcceptsMessage(WM_SHOWWINDOW, 0, 0))
            child->CloseFrame(1);
}

void CBaseFrame::BroadcastToChildren(UINT msg, WPARAM wParam, LPARAM lParam) {
    const std::vector<CBaseFrame*> children = m_children;  // a receiver may detach itself
    // Each child says for itself whether it takes the message, as
    // HideChildren asks it.
    for (CBaseFrame* child : children)
        if (IndexOfChild(child) >= 0 && child->AcceptsMessage(msg, wParam, lParam))
            child->SendMessage(msg, wParam, lParam);
}

void CBaseFrame::OnMenuCommand(WPARAM item) {
    CPaintManagerUI::DeletePtr(reinterpret_cast<void*>(item));
}

void CBaseFrame::RegisterTopFrame(CBaseFrame* frame) {
    auto& frames = TopFrameList();
    if (frame != nullptr && std::find(frames.begin(), frames.end(), frame) == frames.end())
        frames.push_back(frame);
}

void CBaseFrame::UnregisterTopFrame(CBaseFrame* frame, bool close) {
    auto& frames = TopFrameList();
    if (frame == nullptr) {
        if (!close)
            return;
        while (!frames.empty()) {
            CBaseFrame* last = frames.back();
            frames.pop_back();
            last->DestroyFrame();
        }
        return;
    }
    const auto it = std::find(frames.begin(), frames.end(), frame);
    if (it == frames.end())
        return;
    *it = frames.back();
    frames.pop_back();
    if (close)
        frame->DestroyFrame();
}

const std::vector<CBaseFrame*>& CBaseFrame::TopFrames() {
    return TopFrameList();
}
