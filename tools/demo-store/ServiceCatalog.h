#pragma once
// The hosts the demo store stands in for. Each runs on its own loopback port
// so that a test can take one service away without touching the others.

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace demostore {

enum class Service { Store, ClientPage, Update, Toolbox, Stats, FeedbackPage, ServicePage };

inline constexpr std::array<Service, 7> kAllServices = {
    Service::Store, Service::ClientPage,   Service::Update,     Service::Toolbox,
    Service::Stats, Service::FeedbackPage, Service::ServicePage};

// Short name used by the admin interface: "store", "client", "update",
// "toolbox", "stats", "feedback", "service".
std::string_view ServiceName(Service service);
// The client's environment variable that points at this host, e.g. "VANTO_STORE_HOST".
std::string_view ServiceEnvName(Service service);
std::optional<Service> ServiceByName(std::string_view name);
// Offset of the service's port from the port base (admin is 0).
inline int ServicePortOffset(Service service) {
    return static_cast<int>(service) + 1;
}
inline bool ServiceUsesTls(Service service) {
    return service == Service::Store;
}

}  // namespace demostore
