#include "demo-store/ServiceCatalog.h"

namespace demostore {

std::string_view ServiceName(Service service) {
    switch (service) {
        case Service::Store:
            return "store";
        case Service::ClientPage:
            return "client";
        case Service::Update:
            return "update";
        case Service::Toolbox:
            return "toolbox";
        case Service::Stats:
            return "stats";
        case Service::FeedbackPage:
            return "feedback";
        case Service::ServicePage:
            return "service";
    }
    return "";
}

std::string_view ServiceEnvName(Service service) {
    switch (service) {
        case Service::Store:
            return "VANTO_STORE_HOST";
        case Service::ClientPage:
            return "VANTO_CLIENT_PAGE_HOST";
        case Service::Update:
            return "VANTO_UPDATE_HOST";
        case Service::Toolbox:
            return "VANTO_TOOLBOX_HOST";
        case Service::Stats:
            return "VANTO_STATS_HOST";
        case Service::FeedbackPage:
            return "VANTO_FEEDBACK_PAGE_HOST";
        case Service::ServicePage:
            return "VANTO_SERVICE_PAGE_HOST";
    }
    return "";
}

std::optional<Service> ServiceByName(std::string_view name) {
    for (Service service : kAllServices) {
        if (ServiceName(service) == name) {
            return service;
        }
    }
    return std::nullopt;
}

}  // namespace demostore
