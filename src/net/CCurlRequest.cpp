#include "net/CCurlRequest.h"

#include <string_view>

#include "net/SessionToken.h"
#include "platform/os/DebugPrint.h"

namespace {

constexpr std::string_view kEmptyTokenLine = "X-token:";

// libcurl drops a custom header written as "Name:" with nothing after the
// colon; "Name;" is its way of sending "Name:" with an empty value.
const char* TokenHeader(const std::string& tokenLine) {
    return tokenLine == kEmptyTokenLine ? "X-token;" : tokenLine.c_str();
}

bool MakeHeaders(net::CurlHeaderList& list, std::initializer_list<const char*> lines) {
    for (const char* line : lines) {
        if (!list.Append(line)) {
            return false;
        }
    }
    return true;
}

}  // namespace

CCurlRequest::CCurlRequest(bool rawReply) : m_rawReply(rawReply) {}

// The header line "X-token:" followed by the token, or nothing when the
// token could break the request apart (a line break or NUL would let its
// text become further header lines): such a token cannot be genuine.
bool CCurlRequest::BuildTokenLine(std::string& line) const {
    const std::string token = m_token ? *m_token : CurrentSessionToken();
    if (token.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) {
        DebugPrint("X-token refused: control characters\n");
        return false;
    }
    line = std::string(kEmptyTokenLine) + token;
    return true;
}

// libcurl's global state lives for the process (see CurlGlobal.h).
CCurlRequest::~CCurlRequest() = default;

std::size_t CCurlRequest::WriteCallback(char* data, std::size_t size, std::size_t count, void* userData) {
    auto* request = static_cast<CCurlRequest*>(userData);
    if (request == nullptr) {
        return 0;
    }
    const std::size_t bytes = size * count;
    return request->Append(data, bytes) ? bytes : 0;
}

bool CCurlRequest::Append(const char* data, std::size_t size) {
    if (size > m_replyCap - m_received) {
        m_overCap = true;
        return false;
    }
    m_received += size;
    if (m_rawReply) {
        m_reply.append(data, size);
    } else {
        m_reply += m_joiner.TakeUtf8(std::string_view(data, size));
    }
    return true;
}

void CCurlRequest::BeginReply() {
    m_reply.clear();
    m_received = 0;
    m_overCap = false;
    m_joiner = Utf8ChunkJoiner();
}

void CCurlRequest::Perform(net::CurlEasy& easy) {
    curl_easy_setopt(easy.Get(), CURLOPT_WRITEFUNCTION, &CCurlRequest::WriteCallback);
    curl_easy_setopt(easy.Get(), CURLOPT_WRITEDATA, this);
    easy.SetStopEvent(m_stop);
    const CURLcode result = easy.Perform();
    if (result != CURLE_OK) {
        DebugPrint("curl_easy_perform error = %d\n", static_cast<int>(result));
    }
    if (m_overCap) {
        // A part of an oversized reply is no reply: nothing of it is kept.
        DebugPrint("reply refused: more than %zu bytes\n", m_replyCap);
        m_reply.clear();
        m_joiner = Utf8ChunkJoiner();
    } else if (!m_rawReply) {
        m_reply += m_joiner.FinishUtf8();
    }
}

std::string CCurlRequest::GetWithToken(const std::string& url) {
    BeginReply();
    net::CurlEasy easy(LimitsOfGet());
    if (!easy) {
        return {};
    }
    std::string tokenLine;
    if (!BuildTokenLine(tokenLine)) {
        return {};
    }
    net::CurlHeaderList headers;
    if (!MakeHeaders(headers, {"X-Requested-With: XMLHttpRequest", TokenHeader(tokenLine)})) {
        return {};
    }
    curl_easy_setopt(easy.Get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy.Get(), CURLOPT_HTTPHEADER, headers.Get());
    Perform(easy);
    return m_reply;
}

std::string CCurlRequest::PostWithToken(const std::string& url) {
    BeginReply();
    net::CurlEasy easy(LimitsOfPost());
    if (!easy) {
        DebugPrint("curl_easy_init error\n");
        return {};
    }
    std::string tokenLine;
    if (!BuildTokenLine(tokenLine)) {
        return {};
    }
    net::CurlHeaderList headers;
    if (!MakeHeaders(headers, {"Content-Type:application/json;charset=UTF-8",
                               "X-Requested-With:XMLHttpRequest", TokenHeader(tokenLine)})) {
        return {};
    }
    CURL* handle = easy.Get();
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers.Get());
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_POST, 1L);
    // The body is the X-token line itself; libcurl does not copy it, and
    // `tokenLine` outlives the transfer.
    curl_easy_setopt(handle, CURLOPT_POSTFIELDS, tokenLine.c_str());
    Perform(easy);
    return m_reply;
}
