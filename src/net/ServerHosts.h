#pragma once
// The servers of the client. Every address the client uses is one of these
// hosts, with its scheme, plus a fixed path. Each host is "name[:port]": the
// build's default (CMake cache variable), or the value of the environment
// variable of the same name, read at each use so a test or a demo can point
// the client elsewhere without rebuilding.

#include <string>
#include <string_view>

enum class ServerHost {
    Store,         // VANTO_STORE_HOST, https: store API, sign-in and help pages
    ClientPage,    // VANTO_CLIENT_PAGE_HOST: store pages, web-login synchronisation
    Update,        // VANTO_UPDATE_HOST: version file and installer
    Toolbox,       // VANTO_TOOLBOX_HOST: toolbox version files, archives, installers
    Stats,         // VANTO_STATS_HOST: statistics service
    FeedbackPage,  // VANTO_FEEDBACK_PAGE_HOST
    ServicePage,   // VANTO_SERVICE_PAGE_HOST
};

// The environment variable that overrides `host`.
const char* HostVariable(ServerHost host);

// "name[:port]" of `host` now. An empty environment value counts as unset.
std::string HostName(ServerHost host);

// "https" for the store, "http" for every other host.
const char* HostScheme(ServerHost host);

// scheme + "://" + host + path; `path` starts with "/".
std::string HostUrl(ServerHost host, std::string_view path);

// The host constants by their own names.
inline std::string StoreHost() {
    return HostName(ServerHost::Store);
}
inline std::string ClientPageHost() {
    return HostName(ServerHost::ClientPage);
}
inline std::string UpdateHost() {
    return HostName(ServerHost::Update);
}
inline std::string ToolboxHost() {
    return HostName(ServerHost::Toolbox);
}
inline std::string StatsHost() {
    return HostName(ServerHost::Stats);
}
inline std::string FeedbackPageHost() {
    return HostName(ServerHost::FeedbackPage);
}
inline std::string ServicePageHost() {
    return HostName(ServerHost::ServicePage);
}
