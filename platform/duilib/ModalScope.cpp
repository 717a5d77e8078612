#include "platform/duilib/ModalScope.h"

#include "platform/duilib/WinUser.h"

#include <utility>

namespace DuiLib {

ModalScope::ModalScope(HWND owner) : m_owner(owner) {
    if (m_owner != nullptr && ::IsWindowEnabled(m_owner)) {
        ::EnableWindow(m_owner, FALSE);
        m_disabledOwner = true;
    }
}

ModalScope::~ModalScope() {
    ReleaseOwner();
}

void ModalScope::ReleaseOwner() {
    if (!std::exchange(m_disabledOwner, false) || !::IsWindow(m_owner))
        return;
    ::EnableWindow(m_owner, TRUE);
    ::SetFocus(m_owner);
}

bool ModalScope::Run(const std::function<bool()>& done, const std::function<ModalStep(const MSG&)>& inspect) {
    MSG msg{};
    while (!done()) {
        if (!::GetMessageW(&msg, nullptr, 0, 0)) {
            // The loop outside must see the quit too.
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            return false;
        }
        if (inspect && inspect(msg) == ModalStep::End)
            return true;
        if (!TranslateUiMessage(msg))
            ::DispatchMessageW(&msg);
    }
    return true;
}

}  // namespace DuiLib
