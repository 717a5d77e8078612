#pragma once
// The notification area's icon and balloon with the Windows shape, shown as a
// desktop notification (org.freedesktop.Notifications on the session bus).
//
// An icon is named by its window and id, as on Windows. Linux desktops have
// no icon to add, so an icon is only a record here; its balloon (NIF_INFO
// with a text) is the notification: the balloon title is the summary, the
// balloon text the body. Showing a balloon again for the same icon replaces
// the notification on screen, showing an empty balloon or deleting the icon
// withdraws it.
//
// Without a session bus, or without a notification service on it, nothing is
// shown and the call answers FALSE; nothing waits for long: every call to the
// service gives up after two seconds. Any thread (calls are serialised).

#include "platform/os/Shell.h"
#include "platform/os/WinTypes.h"

#include <cstddef>
#include <string_view>

// An icon handle. Only passed along: the notification uses no image.
struct IconHandleTag;
using HICON = IconHandleTag*;

constexpr DWORD NIM_ADD = 0x0;
constexpr DWORD NIM_MODIFY = 0x1;
constexpr DWORD NIM_DELETE = 0x2;

constexpr UINT NIF_MESSAGE = 0x01;
constexpr UINT NIF_ICON = 0x02;
constexpr UINT NIF_TIP = 0x04;
constexpr UINT NIF_INFO = 0x10;

constexpr DWORD NIIF_NONE = 0x0;

// The notification record (the fields a balloon uses). Texts are UTF-16 and
// end at their first NUL or at the end of their array.
struct NOTIFYICONDATAW {
    DWORD cbSize = sizeof(NOTIFYICONDATAW);
    HWND hWnd = nullptr;
    UINT uID = 0;
    UINT uFlags = 0;
    UINT uCallbackMessage = 0;  // kept; a click on the notification sends nothing
    HICON hIcon = nullptr;
    WCHAR szTip[128] = {};
    DWORD dwState = 0;
    DWORD dwStateMask = 0;
    WCHAR szInfo[256] = {};
    UINT uTimeout = 0;  // milliseconds; held to 10 to 30 seconds, as Windows does
    WCHAR szInfoTitle[64] = {};
    DWORD dwInfoFlags = NIIF_NONE;
};

// NIM_ADD: records the icon (FALSE when it exists already) and shows its
// balloon. NIM_MODIFY: changes an existing icon; a balloon replaces the one on
// screen. NIM_DELETE: withdraws the balloon and forgets the icon. FALSE when
// the icon is not known (MODIFY, DELETE), `data` is null, or a balloon to show
// could not be handed to the notification service (an icon being added is
// then not recorded). Any thread.
BOOL Shell_NotifyIconW(DWORD message, NOTIFYICONDATAW* data);

namespace os {

// Copies `text` (UTF-8) into a record's text field of `capacity` units, cut to
// capacity - 1 UTF-16 code units (never inside a character) and terminated.
void CopyNotifyText(WCHAR* field, std::size_t capacity, std::string_view text);

template <std::size_t N>
void SetNotifyText(WCHAR (&field)[N], std::string_view text) {
    CopyNotifyText(field, N, text);
}

}  // namespace os
