#include "net/CCurlRequestW.h"

#include <curl/curl.h>

#include <memory>

#include "net/CurlGlobal.h"
#include "net/TlsTrust.h"
#include "platform/os/Text.h"

CCurlRequestW::CCurlRequestW() {
    // A failed initialisation shows itself as a failed transfer.
    CurlGlobalInit();
}

// libcurl's global state lives for the process (see CurlGlobal.h).
CCurlRequestW::~CCurlRequestW() = default;

std::size_t CCurlRequestW::WriteCallback(char* data, std::size_t size, std::size_t count, void* userData) {
    auto* request = static_cast<CCurlRequestW*>(userData);
    if (request == nullptr) {
        return 0;
    }
    const std::size_t bytes = size * count;
    request->m_reply += request->m_joiner.TakeUtf16(std::string_view(data, bytes));
    return bytes;
}

std::u16string CCurlRequestW::Get(std::u16string_view url) {
    const std::string narrowUrl = os::Utf16ToUtf8(url);
    m_reply.clear();
    m_joiner = Utf8ChunkJoiner();
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), &curl_easy_cleanup);
    if (!curl) {
        return m_reply;
    }
    CURL* handle = curl.get();
    curl_easy_setopt(handle, CURLOPT_URL, narrowUrl.c_str());
    curl_easy_setopt(handle, CURLOPT_USERPWD, kCredentials);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &CCurlRequestW::WriteCallback);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, kStallSeconds);
    ApplyTlsTrust(handle);
    curl_easy_perform(handle);
    m_reply += m_joiner.FinishUtf16();
    return m_reply;
}

std::string FetchUrlText(std::string_view url) {
    CCurlRequestW request;
    return os::Utf16ToUtf8(request.Get(os::Utf8ToUtf16(url)));
}
