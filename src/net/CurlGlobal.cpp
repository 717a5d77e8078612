#include "net/CurlGlobal.h"

#include <signal.h>

#include <mutex>

namespace {

// A handler someone installed on purpose stays; only the default action
// (ending the process) is replaced.
void IgnoreSigpipe() {
    struct sigaction current {};
    if (sigaction(SIGPIPE, nullptr, &current) != 0 || current.sa_handler != SIG_DFL ||
        (current.sa_flags & SA_SIGINFO) != 0) {
        return;
    }
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, nullptr);
}

}  // namespace

CURLcode CurlGlobalInit() {
    static std::once_flag once;
    static CURLcode result = CURLE_OK;
    std::call_once(once, [] {
        IgnoreSigpipe();
        result = curl_global_init(CURL_GLOBAL_ALL);
    });
    return result;
}
