#include "net/CCurlRequestW.h"

#include <curl/curl.h>

#include "platform/os/DebugPrint.h"
#include "platform/os/Text.h"

CCurlRequestW::CCurlRequestW() = default;

// libcurl's global state lives for the process (see CurlGlobal.h).
CCurlRequestW::~CCurlRequestW() = default;

std::size_t CCurlRequestW::WriteCallback(char* data, std::size_t size, std::size_t count, void* userData) {
    auto* request = static_cast<CCurlRequestW*>(userData);
    if (request == nullptr) {
        return 0;
    }
    const std::size_t bytes = size * count;
    if (bytes > kMaxReply - request->m_received) {
        request->m_overCap = true;
        return 0;
    }
    request->m_received += bytes;
    request->m_reply += request->m_joiner.TakeUtf16(std::string_view(data, bytes));
    return bytes;
}

std::u16string CCurlRequestW::Get(std::u16string_view url) {
    const std::string narrowUrl = os::Utf16ToUtf8(url);
    m_reply.clear();
    m_received = 0;
    m_overCap = false;
    m_joiner = Utf8ChunkJoiner();
    net::CurlEasy easy(m_limits);
    if (!easy) {
        return m_reply;
    }
    easy.SetStopEvent(m_stop);
    CURL* handle = easy.Get();
    curl_easy_setopt(handle, CURLOPT_URL, narrowUrl.c_str());
    curl_easy_setopt(handle, CURLOPT_USERPWD, kCredentials);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &CCurlRequestW::WriteCallback);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, this);
    easy.Perform();
    if (m_overCap) {
        DebugPrint("version file refused: more than %zu bytes\n", kMaxReply);
        m_reply.clear();
        m_joiner = Utf8ChunkJoiner();
        return m_reply;
    }
    m_reply += m_joiner.FinishUtf16();
    return m_reply;
}

std::string FetchUrlText(std::string_view url, const os::Event* stop) {
    CCurlRequestW request;
    request.SetStopEvent(stop);
    return os::Utf16ToUtf8(request.Get(os::Utf8ToUtf16(url)));
}
