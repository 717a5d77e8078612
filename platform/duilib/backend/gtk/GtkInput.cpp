#include "platform/duilib/backend/gtk/GtkInput.h"

#include "platform/duilib/WinUser.h"
#include "platform/duilib/backend/gtk/GtkWindowPeer.h"
#include "platform/os/Text.h"

#include <cmath>
#include <optional>

namespace DuiLib {
namespace {

std::optional<GdkWindowEdge> EdgeOf(LRESULT hit) {
    switch (hit) {
        case HTLEFT:
            return GDK_WINDOW_EDGE_WEST;
        case HTRIGHT:
            return GDK_WINDOW_EDGE_EAST;
        case HTTOP:
            return GDK_WINDOW_EDGE_NORTH;
        case HTBOTTOM:
            return GDK_WINDOW_EDGE_SOUTH;
        case HTTOPLEFT:
            return GDK_WINDOW_EDGE_NORTH_WEST;
        case HTTOPRIGHT:
            return GDK_WINDOW_EDGE_NORTH_EAST;
        case HTBOTTOMLEFT:
            return GDK_WINDOW_EDGE_SOUTH_WEST;
        case HTBOTTOMRIGHT:
            return GDK_WINDOW_EDGE_SOUTH_EAST;
        default:
            return std::nullopt;
    }
}

// Keys whose value is not a letter, a digit or a function key.
WPARAM NamedKey(guint keyval) {
    switch (keyval) {
        case GDK_KEY_Return:
        case GDK_KEY_KP_Enter:
            return VK_RETURN;
        case GDK_KEY_Escape:
            return VK_ESCAPE;
        case GDK_KEY_Tab:
        case GDK_KEY_ISO_Left_Tab:
            return VK_TAB;
        case GDK_KEY_BackSpace:
            return VK_BACK;
        case GDK_KEY_Delete:
        case GDK_KEY_KP_Delete:
            return VK_DELETE;
        case GDK_KEY_Left:
        case GDK_KEY_KP_Left:
            return VK_LEFT;
        case GDK_KEY_Right:
        case GDK_KEY_KP_Right:
            return VK_RIGHT;
        case GDK_KEY_Up:
        case GDK_KEY_KP_Up:
            return VK_UP;
        case GDK_KEY_Down:
        case GDK_KEY_KP_Down:
            return VK_DOWN;
        case GDK_KEY_Home:
        case GDK_KEY_KP_Home:
            return VK_HOME;
        case GDK_KEY_End:
        case GDK_KEY_KP_End:
            return VK_END;
        case GDK_KEY_space:
            return VK_SPACE;
        case GDK_KEY_Shift_L:
        case GDK_KEY_Shift_R:
            return VK_SHIFT;
        case GDK_KEY_Control_L:
        case GDK_KEY_Control_R:
            return VK_CONTROL;
        case GDK_KEY_Alt_L:
        case GDK_KEY_Alt_R:
            return VK_MENU;
        default:
            return 0;
    }
}

void PostChars(HWND hwnd, const std::string& utf8) {
    for (char16_t unit : os::Utf8ToUtf16(utf8))
        ::PostMessageW(hwnd, WM_CHAR, unit, 1);
}

}  // namespace

WPARAM GtkInput::VirtualKey(guint keyval) {
    if (keyval >= GDK_KEY_a && keyval <= GDK_KEY_z)
        return 'A' + (keyval - GDK_KEY_a);
    if (keyval >= GDK_KEY_A && keyval <= GDK_KEY_Z)
        return 'A' + (keyval - GDK_KEY_A);
    if (keyval >= GDK_KEY_0 && keyval <= GDK_KEY_9)
        return '0' + (keyval - GDK_KEY_0);
    if (keyval >= GDK_KEY_KP_0 && keyval <= GDK_KEY_KP_9)
        return 0x60 + (keyval - GDK_KEY_KP_0);
    if (keyval >= GDK_KEY_F1 && keyval <= GDK_KEY_F12)
        return 0x70 + (keyval - GDK_KEY_F1);
    return NamedKey(keyval);
}

WPARAM GtkInput::MouseKeys(guint state) {
    WPARAM keys = 0;
    if ((state & GDK_BUTTON1_MASK) != 0)
        keys |= MK_LBUTTON;
    if ((state & GDK_BUTTON3_MASK) != 0)
        keys |= MK_RBUTTON;
    if ((state & GDK_SHIFT_MASK) != 0)
        keys |= MK_SHIFT;
    if ((state & GDK_CONTROL_MASK) != 0)
        keys |= MK_CONTROL;
    return keys;
}

bool GtkInput::BeyondDragThreshold(double dx, double dy) {
    return std::abs(dx) >= kDragThreshold || std::abs(dy) >= kDragThreshold;
}

bool GtkInput::OnButton(GdkEventButton* event) {
    const HWND hwnd = m_peer.Hwnd();
    if (!::IsWindow(hwnd))
        return true;
    const POINT client{static_cast<long>(event->x), static_cast<long>(event->y)};
    const POINT screen{client.x + m_peer.Rect().left, client.y + m_peer.Rect().top};
    MessageQueue::Instance().SetCursorPos(screen);
    if (!::IsWindowEnabled(hwnd))
        return true;  // a disabled window takes no input
    const LPARAM at = MAKELPARAM(client.x, client.y);
    const WPARAM keys = MouseKeys(event->state);
    if (event->type == GDK_BUTTON_RELEASE) {
        if (event->button == 1 && m_captionPress)
            m_captionPress = false;
        else if (event->button == 1)
            ::PostMessageW(hwnd, WM_LBUTTONUP, keys & ~MK_LBUTTON, at);
        else if (event->button == 3)
            ::PostMessageW(hwnd, WM_RBUTTONUP, keys & ~MK_RBUTTON, at);
        return true;
    }
    if (event->type != GDK_BUTTON_PRESS && event->type != GDK_2BUTTON_PRESS)
        return true;
    // A click into an inactive window activates it first, as on Windows.
    if (::GetActiveWindow() != hwnd && event->type == GDK_BUTTON_PRESS)
        ::SetActiveWindow(hwnd);
    if (!::IsWindow(hwnd))
        return true;
    if (event->button == 3)
        ::PostMessageW(hwnd, WM_RBUTTONDOWN, keys | MK_RBUTTON, at);
    else if (event->button == 1)
        OnLeftPress(event, keys, at, screen);
    return true;
}

bool GtkInput::OnLeftPress(GdkEventButton* event, WPARAM keys, LPARAM at, POINT screen) {
    const HWND hwnd = m_peer.Hwnd();
    const LRESULT hit = ::SendMessageW(hwnd, WM_NCHITTEST, 0, MAKELPARAM(screen.x, screen.y));
    if (!::IsWindow(hwnd))
        return true;
    if (hit == HTCAPTION) {
        if (event->type == GDK_2BUTTON_PRESS) {
            m_captionPress = false;
            ::PostMessageW(hwnd, WM_NCLBUTTONDBLCLK, static_cast<WPARAM>(HTCAPTION),
                           MAKELPARAM(screen.x, screen.y));
        } else {
            // The drag starts once the pointer moves: a double click stays
            // a double click.
            m_captionPress = true;
            m_pressRootX = event->x_root;
            m_pressRootY = event->y_root;
        }
        return true;
    }
    if (std::optional<GdkWindowEdge> edge = EdgeOf(hit)) {
        if (event->type == GDK_BUTTON_PRESS)
            gtk_window_begin_resize_drag(m_peer.Toplevel(), *edge, static_cast<gint>(event->button),
                                         static_cast<gint>(event->x_root), static_cast<gint>(event->y_root),
                                         event->time);
        return true;
    }
    ::PostMessageW(hwnd, event->type == GDK_2BUTTON_PRESS ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN,
                   keys | MK_LBUTTON, at);
    return true;
}

bool GtkInput::OnMotion(GdkEventMotion* event) {
    const HWND hwnd = m_peer.Hwnd();
    const POINT client{static_cast<long>(event->x), static_cast<long>(event->y)};
    MessageQueue::Instance().SetCursorPos(POINT{client.x + m_peer.Rect().left, client.y + m_peer.Rect().top});
    if (m_captionPress) {
        if (BeyondDragThreshold(event->x_root - m_pressRootX, event->y_root - m_pressRootY)) {
            m_captionPress = false;
            // The grab takes this motion's time: a press's older time may
            // lose against a grab the display saw since.
            gtk_window_begin_move_drag(m_peer.Toplevel(), 1, static_cast<gint>(m_pressRootX),
                                       static_cast<gint>(m_pressRootY), event->time);
        }
        return true;
    }
    if (!::IsWindowEnabled(hwnd))
        return true;
    ::PostMessageW(hwnd, WM_MOUSEMOVE, MouseKeys(event->state), MAKELPARAM(client.x, client.y));
    gdk_event_request_motions(event);
    return true;
}

bool GtkInput::OnLeave(GdkEventCrossing* event) {
    if (event->detail == GDK_NOTIFY_INFERIOR || event->mode != GDK_CROSSING_NORMAL)
        return false;
    if (::IsWindow(m_peer.Hwnd()))
        ::PostMessageW(m_peer.Hwnd(), WM_MOUSELEAVE, 0, 0);
    return false;
}

bool GtkInput::OnScroll(GdkEventScroll* event) {
    const HWND hwnd = m_peer.Hwnd();
    if (!::IsWindowEnabled(hwnd))
        return true;
    int delta = 0;
    if (event->direction == GDK_SCROLL_UP)
        delta = 120;
    else if (event->direction == GDK_SCROLL_DOWN)
        delta = -120;
    else if (event->direction == GDK_SCROLL_SMOOTH)
        delta = static_cast<int>(-event->delta_y * 120);
    if (delta == 0)
        return true;
    const POINT screen{static_cast<long>(event->x) + m_peer.Rect().left,
                       static_cast<long>(event->y) + m_peer.Rect().top};
    const WPARAM wParam =
        (MouseKeys(event->state) & 0xFFFF) | (static_cast<WPARAM>(static_cast<WORD>(delta)) << 16);
    ::PostMessageW(hwnd, WM_MOUSEWHEEL, wParam, MAKELPARAM(screen.x, screen.y));
    return true;
}

void GtkInput::PostKey(bool press, WPARAM vk) {
    if (vk != 0)
        ::PostMessageW(m_peer.Hwnd(), press ? WM_KEYDOWN : WM_KEYUP, vk,
                       press ? 1 : static_cast<LPARAM>(0xC0000001));
}

bool GtkInput::OnKey(GdkEventKey* event) {
    const HWND hwnd = m_peer.Hwnd();
    if (!::IsWindowEnabled(hwnd))
        return true;
    // A page with the keyboard takes its keys through the toolkit.
    if (m_peer.NativeViewHasKeys())
        return false;
    const bool press = event->type == GDK_KEY_PRESS;
    const WPARAM vk = VirtualKey(event->keyval);
    GtkInputMethod& im = m_peer.InputMethod();
    if (im.IsFocused()) {
        // The input method sees the key first; what it commits while doing
        // so follows the key-down as characters, as WM_CHAR follows
        // WM_KEYDOWN. A key it keeps for a composition is no key-down.
        const GtkInputMethod::Filtered filtered = im.Filter(event);
        if (!(filtered.consumed && filtered.composing))
            PostKey(press, vk);
        PostChars(hwnd, filtered.committed);
        return true;
    }
    PostKey(press, vk);
    if (press && (event->state & (GDK_CONTROL_MASK | GDK_MOD1_MASK)) == 0) {
        const gunichar ch = gdk_keyval_to_unicode(event->keyval);
        if (ch >= 0x20 && ch != 0x7F) {
            char utf8[8] = {};
            g_unichar_to_utf8(ch, utf8);
            PostChars(hwnd, utf8);
        }
    }
    return true;
}

}  // namespace DuiLib
