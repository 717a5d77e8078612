#include "platform/duilib/Automation.h"

#include "platform/duilib/MessageQueue.h"
#include "platform/duilib/UIManagerState.h"
#include "platform/duilib/UIOption.h"
#include "platform/duilib/UiCall.h"
#include "platform/duilib/backend/Backend.h"
#include "platform/os/Text.h"

#include <algorithm>

namespace DuiLib {
namespace {

// Lower case with '/' for '\\': how layout and class names compare.
std::string Lower(std::string_view text) {
    std::string out = os::AsciiLowerCopy(text);
    for (char& c : out) {
        if (c == '\\')
            c = '/';
    }
    return out;
}

std::string BaseName(std::string_view path) {
    const std::string lower = Lower(path);
    const auto slash = lower.rfind('/');
    return slash == std::string::npos ? lower : lower.substr(slash + 1);
}

// The first live window matching, a visible one before a hidden one.
HWND FirstMatch(const std::function<bool(HWND)>& match) {
    HWND hidden = nullptr;
    for (HWND hwnd : EnumWindows()) {
        if (!match(hwnd))
            continue;
        if (::IsWindowVisible(hwnd))
            return hwnd;
        if (hidden == nullptr)
            hidden = hwnd;
    }
    return hidden;
}

bool LayoutMatches(HWND hwnd, std::string_view layout) {
    CPaintManagerUI* manager = Automation::ManagerOf(hwnd);
    return manager != nullptr && !manager->GetName().empty() &&
           BaseName(manager->GetName()) == BaseName(layout);
}

// Pumps the queue on the UI thread until nothing is left (the inline form
// of waiting for idle). A quit message met on the way is left for the loop
// that runs below us.
void PumpUntilIdle() {
    MessageQueue& queue = MessageQueue::Instance();
    MSG msg;
    bool quit = false;
    while (queue.TryGetMessage(msg, quit)) {
        if (quit) {
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        if (!TranslateUiMessage(msg))
            ::DispatchMessageW(&msg);
    }
}

// A point of the control's rectangle where a press reaches it: its centre,
// else a point of a coarse grid over it (a child may cover the centre).
std::optional<POINT> ClickPoint(CPaintManagerUI& manager, CControlUI* control) {
    const RECT rc = control->GetPos();
    if (rc.right <= rc.left || rc.bottom <= rc.top)
        return std::nullopt;
    const POINT centre{(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
    if (FindClickTarget(manager, centre) == control)
        return centre;
    constexpr int steps = 8;
    for (int iy = 0; iy < steps; ++iy) {
        for (int ix = 0; ix < steps; ++ix) {
            const POINT pt{rc.left + (rc.right - rc.left) * (2 * ix + 1) / (2 * steps),
                           rc.top + (rc.bottom - rc.top) * (2 * iy + 1) / (2 * steps)};
            if (FindClickTarget(manager, pt) == control)
                return pt;
        }
    }
    return std::nullopt;
}

bool UserCanReach(HWND hwnd) {
    return ::IsWindow(hwnd) && ::IsWindowVisible(hwnd) && ::IsWindowEnabled(hwnd);
}

}  // namespace

CPaintManagerUI* Automation::ManagerOf(HWND hwnd) {
    if (hwnd == nullptr || !MessageQueue::Instance().IsUiThread())
        return nullptr;
    for (CPaintManagerUI* manager : CPaintManagerUI::GetPaintManagers()) {
        if (manager->GetPaintWindow() == hwnd && manager->GetRoot() != nullptr)
            return manager;
    }
    return nullptr;
}

CControlUI* Automation::FindControl(HWND hwnd, std::string_view controlName) {
    CPaintManagerUI* manager = ManagerOf(hwnd);
    return manager != nullptr ? manager->FindControl(controlName) : nullptr;
}

bool Automation::Run(const std::function<void()>& fn) const {
    return UiCall(fn, UiCallLimits{.begin = m_deadline});
}

bool Automation::Act(const std::function<bool()>& act) const {
    bool done = false;
    if (!Run([&] { done = act(); }))
        return false;
    if (!done)
        return false;
    return RunUntilIdle();
}

bool Automation::RunUntilIdle() const {
    MessageQueue& queue = MessageQueue::Instance();
    if (queue.IsUiThread()) {
        PumpUntilIdle();
        return true;
    }
    return queue.HasUiThread() && queue.WaitIdle(m_deadline);
}

bool Automation::AdvanceClock(std::uint64_t ms) const {
    if (!MessageQueue::Instance().AdvanceClock(ms))
        return false;
    return RunUntilIdle();
}

HWND Automation::WindowOfClass(std::string_view className) {
    const std::string wanted = Lower(className);
    return FirstMatch([&](HWND h) { return Lower(::GetClassNameW(h)) == wanted; });
}

HWND Automation::FindByClass(std::string_view className) const {
    return Call<HWND>([&] { return WindowOfClass(className); }).value_or(nullptr);
}

HWND Automation::FindByLayout(std::string_view layout) const {
    return Call<HWND>([&] { return FirstMatch([&](HWND h) { return LayoutMatches(h, layout); }); })
        .value_or(nullptr);
}

HWND Automation::FindByTitle(std::string_view title) const {
    return Call<HWND>([&] { return FirstMatch([&](HWND h) { return ::GetWindowTextW(h) == title; }); })
        .value_or(nullptr);
}

std::vector<HWND> Automation::Windows() const {
    return Call<std::vector<HWND>>([] { return EnumWindows(); }).value_or(std::vector<HWND>{});
}

HWND Automation::WaitForWindow(const std::function<bool(HWND)>& predicate) const {
    return WaitForWindow(predicate, m_deadline);
}

HWND Automation::WaitForWindow(const std::function<bool(HWND)>& predicate,
                               std::chrono::milliseconds deadline) const {
    MessageQueue& queue = MessageQueue::Instance();
    const auto end = std::chrono::steady_clock::now() + deadline;
    auto find = [&] {
        for (HWND hwnd : EnumWindows()) {
            if (::IsWindowVisible(hwnd) && predicate(hwnd))
                return hwnd;
        }
        return HWND{nullptr};
    };
    if (queue.IsUiThread()) {
        PumpUntilIdle();
        return find();
    }
    for (;;) {
        // Read the change count before looking, so a window that appears
        // between the look and the wait is not missed.
        const std::uint64_t seen = queue.WindowChanges();
        HWND found = Call<HWND>(find).value_or(nullptr);
        if (found != nullptr)
            return found;
        const auto now = std::chrono::steady_clock::now();
        if (now >= end)
            return nullptr;
        queue.WaitWindowChange(seen, std::chrono::duration_cast<std::chrono::milliseconds>(end - now));
    }
}

HWND Automation::WaitForClass(std::string_view className) const {
    const std::string wanted = Lower(className);
    return WaitForWindow([&](HWND h) { return Lower(::GetClassNameW(h)) == wanted; });
}

HWND Automation::WaitForLayout(std::string_view layout) const {
    const std::string wanted(layout);
    return WaitForWindow([&](HWND h) { return LayoutMatches(h, wanted); });
}

bool Automation::Click(HWND hwnd, std::string_view controlName) const {
    return Click(hwnd, [controlName](CPaintManagerUI& manager) { return manager.FindControl(controlName); });
}

bool Automation::Click(HWND hwnd, const std::function<CControlUI*(CPaintManagerUI&)>& find) const {
    return Act([&] {
        CPaintManagerUI* manager = UserCanReach(hwnd) ? ManagerOf(hwnd) : nullptr;
        return manager != nullptr && PostClick(hwnd, find ? find(*manager) : nullptr);
    });
}

bool Automation::PostClick(HWND hwnd, CControlUI* control) {
    CPaintManagerUI* manager = UserCanReach(hwnd) ? ManagerOf(hwnd) : nullptr;
    if (manager == nullptr || control == nullptr || control->GetManager() != manager ||
        !control->IsVisible() || !control->IsEnabled())
        return false;
    if (manager->IsUpdateNeeded())
        manager->UpdateLayout();
    const std::optional<POINT> pt = ClickPoint(*manager, control);
    if (!pt)
        return false;
    // A click into an inactive window activates it first.
    if (::GetActiveWindow() != hwnd)
        ::SetForegroundWindow(hwnd);
    POINT screen = *pt;
    ::ClientToScreen(hwnd, &screen);
    MessageQueue::Instance().SetCursorPos(screen);
    const LPARAM at = MAKELPARAM(pt->x, pt->y);
    ::PostMessageW(hwnd, WM_MOUSEMOVE, 0, at);
    ::PostMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, at);
    ::PostMessageW(hwnd, WM_LBUTTONUP, 0, at);
    return true;
}

bool Automation::Type(HWND hwnd, std::string_view editName, std::string_view text) const {
    return Act([&] {
        if (!UserCanReach(hwnd))
            return false;
        CControlUI* edit = FindControl(hwnd, editName);
        if (edit == nullptr || edit->GetInterface("Edit") == nullptr || !edit->IsVisible() ||
            !edit->IsEnabled())
            return false;
        if (::GetActiveWindow() != hwnd)
            ::SetForegroundWindow(hwnd);
        edit->SetFocus();
        for (char16_t unit : os::Utf8ToUtf16(text))
            ::PostMessageW(hwnd, WM_CHAR, unit, 1);
        return true;
    });
}

bool Automation::PressKey(HWND hwnd, WPARAM vk) const {
    return Act([&] {
        if (!UserCanReach(hwnd))
            return false;
        if (::GetActiveWindow() != hwnd)
            ::SetForegroundWindow(hwnd);
        ::PostMessageW(hwnd, WM_KEYDOWN, vk, 1);
        ::PostMessageW(hwnd, WM_KEYUP, vk, 1);
        return true;
    });
}

bool Automation::MoveFocusTo(HWND hwnd) const {
    return Act([&] {
        if (!::IsWindow(hwnd) || !::IsWindowEnabled(hwnd))
            return false;
        ::SetForegroundWindow(hwnd);
        ::SetFocus(hwnd);
        return ::GetFocus() == hwnd;
    });
}

std::optional<SystemDialogInfo> Automation::WaitForSystemDialog() const {
    MessageQueue& queue = MessageQueue::Instance();
    const auto end = std::chrono::steady_clock::now() + m_deadline;
    for (;;) {
        const std::uint64_t seen = queue.WindowChanges();
        std::optional<SystemDialogInfo> open;
        Run([&] { open = GetBackend().OpenSystemDialog(); });
        if (open)
            return open;
        const auto now = std::chrono::steady_clock::now();
        if (now >= end || queue.IsUiThread())
            return std::nullopt;
        // The dialog maps a moment after it is shown: look again soon.
        queue.WaitWindowChange(seen,
                               std::min(std::chrono::duration_cast<std::chrono::milliseconds>(end - now),
                                        std::chrono::milliseconds(50)));
    }
}

bool Automation::AnswerSystemDialog(const SystemDialogReply& reply) const {
    bool answered = false;
    if (!Run([&] { answered = GetBackend().AnswerSystemDialog(reply); }))
        return false;
    return answered && RunUntilIdle();
}

std::optional<std::string> Automation::Text(HWND hwnd, std::string_view controlName) const {
    std::optional<std::string> text;
    Run([&] {
        if (CControlUI* control = FindControl(hwnd, controlName))
            text = control->GetText();
    });
    return text;
}

std::optional<bool> Automation::IsControlVisible(HWND hwnd, std::string_view controlName) const {
    std::optional<bool> visible;
    Run([&] {
        if (CControlUI* control = FindControl(hwnd, controlName))
            visible = control->IsVisible();
    });
    return visible;
}

std::optional<bool> Automation::IsControlEnabled(HWND hwnd, std::string_view controlName) const {
    std::optional<bool> enabled;
    Run([&] {
        if (CControlUI* control = FindControl(hwnd, controlName))
            enabled = control->IsEnabled();
    });
    return enabled;
}

std::optional<bool> Automation::IsSelected(HWND hwnd, std::string_view optionName) const {
    std::optional<bool> selected;
    Run([&] {
        CControlUI* control = FindControl(hwnd, optionName);
        if (auto* option = ControlCast<COptionUI>(control))
            selected = option->IsSelected();
    });
    return selected;
}

bool Automation::IsVisible(HWND hwnd) const {
    return Call<bool>([&] { return ::IsWindowVisible(hwnd) != FALSE; }).value_or(false);
}

bool Automation::IsEnabled(HWND hwnd) const {
    return Call<bool>([&] { return ::IsWindowEnabled(hwnd) != FALSE; }).value_or(false);
}

}  // namespace DuiLib
