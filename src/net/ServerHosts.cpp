#include "net/ServerHosts.h"

#include <cstdlib>

namespace {

struct HostEntry {
    const char* variable;
    const char* fallback;
    const char* scheme;
};

HostEntry Entry(ServerHost host) {
    switch (host) {
        case ServerHost::Store:
            return {"VANTO_STORE_HOST", VANTO_DEFAULT_STORE_HOST, "https"};
        case ServerHost::ClientPage:
            return {"VANTO_CLIENT_PAGE_HOST", VANTO_DEFAULT_CLIENT_PAGE_HOST, "http"};
        case ServerHost::Update:
            return {"VANTO_UPDATE_HOST", VANTO_DEFAULT_UPDATE_HOST, "http"};
        case ServerHost::Toolbox:
            return {"VANTO_TOOLBOX_HOST", VANTO_DEFAULT_TOOLBOX_HOST, "http"};
        case ServerHost::Stats:
            return {"VANTO_STATS_HOST", VANTO_DEFAULT_STATS_HOST, "http"};
        case ServerHost::FeedbackPage:
            return {"VANTO_FEEDBACK_PAGE_HOST", VANTO_DEFAULT_FEEDBACK_PAGE_HOST, "http"};
        case ServerHost::ServicePage:
            return {"VANTO_SERVICE_PAGE_HOST", VANTO_DEFAULT_SERVICE_PAGE_HOST, "http"};
    }
    return {"VANTO_STORE_HOST", VANTO_DEFAULT_STORE_HOST, "https"};
}

}  // namespace

const char* HostVariable(ServerHost host) {
    return Entry(host).variable;
}

std::string HostName(ServerHost host) {
    const HostEntry entry = Entry(host);
    const char* value = std::getenv(entry.variable);
    return value != nullptr && *value != '\0' ? std::string(value) : std::string(entry.fallback);
}

const char* HostScheme(ServerHost host) {
    return Entry(host).scheme;
}

std::string HostUrl(ServerHost host, std::string_view path) {
    std::string url = HostScheme(host);
    url += "://";
    url += HostName(host);
    url += path;
    return url;
}
