#pragma once
// The bench's side of the client's read-only automation channel
// (VANTO_AUTOMATION_SOCKET), through the tests' client: one request on a
// connection of its own each time, since the channel comes up with the
// client. Used to find the client's tab buttons on screen and to see which
// page a tab's view holds.

#include <json/json.h>

#include <optional>
#include <string>

#include "ScreenProbe.h"

namespace bench {

class AutomationClient {
  public:
    explicit AutomationClient(std::string socketPath) : m_path(std::move(socketPath)) {}

    // The reply to `request`; null when the channel is not there or the
    // reply does not parse or says "ok": false.
    Json::Value Ask(const Json::Value& request) const;
    // A control's rectangle on screen.
    std::optional<Rect> Control(const std::string& window, const std::string& name) const;
    // The address a web view holds.
    std::string Url(const std::string& window, const std::string& view) const;

  private:
    std::string m_path;
};

}  // namespace bench
