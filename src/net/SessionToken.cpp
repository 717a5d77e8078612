#include "net/SessionToken.h"

#include <mutex>
#include <utility>

namespace {

std::mutex& ProviderMutex() {
    static std::mutex mutex;
    return mutex;
}

SessionTokenProvider& Provider() {
    static SessionTokenProvider provider;
    return provider;
}

}  // namespace

void SetSessionTokenProvider(SessionTokenProvider provider) {
    std::lock_guard lock(ProviderMutex());
    Provider() = std::move(provider);
}

std::string CurrentSessionToken() {
    SessionTokenProvider provider;
    {
        // Called outside the lock: a provider may take locks of its own.
        std::lock_guard lock(ProviderMutex());
        provider = Provider();
    }
    return provider ? provider() : std::string();
}
