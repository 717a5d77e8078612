#include "net/CurlGlobal.h"

#include <mutex>

CURLcode CurlGlobalInit() {
    static std::once_flag once;
    static CURLcode result = CURLE_OK;
    std::call_once(once, [] { result = curl_global_init(CURL_GLOBAL_ALL); });
    return result;
}
