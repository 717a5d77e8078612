#include "platform/duilib/backend/Backend.h"

#include "platform/duilib/backend/headless/HeadlessBackend.h"

#include <mutex>

namespace DuiLib {
namespace {
std::mutex g_backendMutex;
std::shared_ptr<Backend> g_backend;
}  // namespace

std::shared_ptr<Backend> GetBackendShared() {
    std::lock_guard lock(g_backendMutex);
    if (!g_backend)
        g_backend = std::make_shared<HeadlessBackend>(HeadlessBackend::Options{});
    return g_backend;
}

Backend& GetBackend() {
    // The installed back end lives until it is replaced, which happens only
    // between UI threads; a reference is safe for the callers in between.
    return *GetBackendShared();
}

void SetBackend(std::shared_ptr<Backend> backend) {
    std::lock_guard lock(g_backendMutex);
    g_backend = std::move(backend);
}

std::shared_ptr<Backend> ReplaceBackend(std::shared_ptr<Backend> backend) {
    std::lock_guard lock(g_backendMutex);
    std::swap(g_backend, backend);
    return backend;
}

}  // namespace DuiLib
