#include "platform/os/Notification.h"

#include "platform/os/DebugPrint.h"
#include "platform/os/Paths.h"
#include "platform/os/Text.h"

#include <gio/gio.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <utility>

namespace {

constexpr const char* kService = "org.freedesktop.Notifications";
constexpr const char* kObjectPath = "/org/freedesktop/Notifications";
constexpr const char* kInterface = "org.freedesktop.Notifications";
// A notification service that does not answer within this time is taken as
// absent, so a caller is never held up by a wedged desktop.
constexpr int kCallLimitMs = 2000;
// Windows holds balloon time-outs to this range.
constexpr UINT kMinBalloonMs = 10000;
constexpr UINT kMaxBalloonMs = 30000;

template <std::size_t N>
std::string FieldText(const WCHAR (&field)[N]) {
    const auto* end = std::find(field, field + N, u'\0');
    return os::Utf16ToUtf8(std::u16string_view(field, static_cast<std::size_t>(end - field)));
}

// The session bus connection and the icons shown through it. One per
// process; every member is used under `mutex`.
class NotificationBridge {
  public:
    static NotificationBridge& Instance() {
        // Never destroyed: a worker may still show or withdraw a balloon
        // while the process's static objects go.
        static auto* bridge = new NotificationBridge();
        return *bridge;
    }

    BOOL Apply(DWORD message, const NOTIFYICONDATAW& data) {
        std::lock_guard lock(m_mutex);
        const Key key{data.hWnd, data.uID};
        auto it = m_icons.find(key);
        switch (message) {
            case NIM_ADD: {
                if (it != m_icons.end())
                    return FALSE;
                Icon icon;
                if ((data.uFlags & NIF_INFO) != 0 && !ShowBalloon(icon, data))
                    return FALSE;
                m_icons.emplace(key, icon);
                return TRUE;
            }
            case NIM_MODIFY:
                if (it == m_icons.end())
                    return FALSE;
                if ((data.uFlags & NIF_INFO) != 0)
                    return ShowBalloon(it->second, data) ? TRUE : FALSE;
                return TRUE;
            case NIM_DELETE:
                if (it == m_icons.end())
                    return FALSE;
                Withdraw(it->second);
                m_icons.erase(it);
                return TRUE;
            default:
                return FALSE;
        }
    }

  private:
    using Key = std::pair<HWND, UINT>;
    struct Icon {
        std::uint32_t notification = 0;  // the service's id of the balloon shown, 0 for none
    };

    // The connection to the session bus of the current environment; made
    // again when the environment names another bus or the bus went away.
    GDBusConnection* Connection() {
        GError* error = nullptr;
        gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, &error);
        if (address == nullptr) {
            g_clear_error(&error);
            Disconnect();
            return nullptr;
        }
        const std::string wanted = address;
        g_free(address);
        if (m_connection != nullptr && wanted == m_address && !g_dbus_connection_is_closed(m_connection))
            return m_connection;
        Disconnect();
        m_connection = g_dbus_connection_new_for_address_sync(
            wanted.c_str(),
            static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                              G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, &error);
        if (m_connection == nullptr) {
            DebugPrint("notification: no session bus at %s: %s", wanted.c_str(),
                       error != nullptr ? error->message : "?");
            g_clear_error(&error);
            return nullptr;
        }
        // A bus that goes away must never end the client.
        g_dbus_connection_set_exit_on_close(m_connection, FALSE);
        m_address = wanted;
        // Ids from another bus mean nothing on this one.
        for (auto& [key, icon] : m_icons)
            icon.notification = 0;
        return m_connection;
    }

    void Disconnect() {
        if (m_connection != nullptr) {
            g_object_unref(m_connection);
            m_connection = nullptr;
        }
        m_address.clear();
    }

    // Shows the record's balloon in place of the icon's current one; an empty
    // balloon text withdraws it instead.
    bool ShowBalloon(Icon& icon, const NOTIFYICONDATAW& data) {
        const std::string body = FieldText(data.szInfo);
        if (body.empty()) {
            Withdraw(icon);
            return true;
        }
        GDBusConnection* connection = Connection();
        if (connection == nullptr)
            return false;
        const std::string summary = FieldText(data.szInfoTitle);
        const std::string appName(os::FileNamePart(os::GetProgramPath()));
        const gint32 timeout = static_cast<gint32>(std::clamp(data.uTimeout, kMinBalloonMs, kMaxBalloonMs));
        GError* error = nullptr;
        GVariant* reply = g_dbus_connection_call_sync(
            connection, kService, kObjectPath, kInterface, "Notify",
            g_variant_new("(susssasa{sv}i)", appName.c_str(), static_cast<guint32>(icon.notification), "",
                          summary.c_str(), body.c_str(), nullptr, nullptr, timeout),
            G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, kCallLimitMs, nullptr, &error);
        if (reply == nullptr) {
            DebugPrint("notification not shown: %s", error != nullptr ? error->message : "no reply");
            g_clear_error(&error);
            return false;
        }
        guint32 id = 0;
        g_variant_get(reply, "(u)", &id);
        g_variant_unref(reply);
        icon.notification = id;
        return true;
    }

    void Withdraw(Icon& icon) {
        if (icon.notification == 0)
            return;
        const guint32 id = icon.notification;
        icon.notification = 0;
        GDBusConnection* connection = Connection();
        if (connection == nullptr)
            return;
        GError* error = nullptr;
        GVariant* reply = g_dbus_connection_call_sync(connection, kService, kObjectPath, kInterface,
                                                      "CloseNotification", g_variant_new("(u)", id), nullptr,
                                                      G_DBUS_CALL_FLAGS_NONE, kCallLimitMs, nullptr, &error);
        if (reply != nullptr)
            g_variant_unref(reply);
        g_clear_error(&error);
    }

    std::mutex m_mutex;
    GDBusConnection* m_connection = nullptr;
    std::string m_address;
    std::map<Key, Icon> m_icons;
};

}  // namespace

BOOL Shell_NotifyIconW(DWORD message, NOTIFYICONDATAW* data) {
    if (data == nullptr)
        return FALSE;
    return NotificationBridge::Instance().Apply(message, *data);
}

namespace os {

void CopyNotifyText(WCHAR* field, std::size_t capacity, std::string_view text) {
    if (field == nullptr || capacity == 0)
        return;
    const std::u16string wide = Utf8ToUtf16(text);
    const std::u16string_view cut = CutUtf16(wide, capacity - 1);
    std::copy(cut.begin(), cut.end(), field);
    field[cut.size()] = u'\0';
}

}  // namespace os
