#include "net/CCurlRequest.h"

#include <curl/curl.h>

#include <memory>

#include "account/UserSession.h"
#include "net/CurlGlobal.h"
#include "net/TlsTrust.h"
#include "platform/os/DebugPrint.h"

namespace {

constexpr std::string_view kEmptyTokenLine = "X-token:";

using EasyHandle = std::unique_ptr<CURL, decltype(&curl_easy_cleanup)>;
using HeaderList = std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)>;

// The header line "X-token:" followed by the token, or nothing when the
// token could break the request apart (a line break or NUL would let its
// text become further header lines): such a token cannot be genuine.
bool BuildTokenLine(std::string& line) {
    const std::string token = UserSession::Instance().SessionToken();
    if (token.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) {
        DebugPrint("X-token refused: control characters\n");
        return false;
    }
    line = std::string(kEmptyTokenLine) + token;
    return true;
}

// libcurl drops a custom header written as "Name:" with nothing after the
// colon; "Name;" is its way of sending "Name:" with an empty value.
const char* TokenHeader(const std::string& tokenLine) {
    return tokenLine == kEmptyTokenLine ? "X-token;" : tokenLine.c_str();
}

// Appends `lines` to a new list; null when any append fails.
HeaderList MakeHeaders(std::initializer_list<const char*> lines) {
    HeaderList list(nullptr, &curl_slist_free_all);
    curl_slist* head = nullptr;
    for (const char* line : lines) {
        // curl_slist_append returns the list's head, or null (leaving the
        // list as it was) when it cannot grow it.
        curl_slist* grown = curl_slist_append(head, line);
        if (grown == nullptr) {
            curl_slist_free_all(head);
            return list;
        }
        head = grown;
    }
    list.reset(head);
    return list;
}

}  // namespace

CCurlRequest::CCurlRequest(bool rawReply) : m_rawReply(rawReply) {
    if (CurlGlobalInit() != CURLE_OK) {
        DebugPrint("curl_global_init return code err.\n");
    }
}

// libcurl's global state lives for the process (see CurlGlobal.h).
CCurlRequest::~CCurlRequest() = default;

std::size_t CCurlRequest::WriteCallback(char* data, std::size_t size, std::size_t count, void* userData) {
    auto* request = static_cast<CCurlRequest*>(userData);
    if (request == nullptr) {
        return 0;
    }
    const std::size_t bytes = size * count;
    request->Append(data, bytes);
    return bytes;
}

void CCurlRequest::Perform(CURL* handle) {
    ApplyTlsTrust(handle);
    const CURLcode result = curl_easy_perform(handle);
    if (result != CURLE_OK) {
        DebugPrint("curl_easy_perform error = %d\n", static_cast<int>(result));
    }
    EndReply();
}

void CCurlRequest::Append(const char* data, std::size_t size) {
    if (m_rawReply) {
        m_reply.append(data, size);
    } else {
        m_reply += m_joiner.TakeUtf8(std::string_view(data, size));
    }
}

void CCurlRequest::BeginReply() {
    m_reply.clear();
    m_joiner = Utf8ChunkJoiner();
}

void CCurlRequest::EndReply() {
    if (!m_rawReply) {
        m_reply += m_joiner.FinishUtf8();
    }
}

std::string CCurlRequest::GetWithToken(const std::string& url) {
    BeginReply();
    EasyHandle curl(curl_easy_init(), &curl_easy_cleanup);
    if (!curl) {
        return {};
    }
    std::string tokenLine;
    if (!BuildTokenLine(tokenLine)) {
        return {};
    }
    HeaderList headers = MakeHeaders({"X-Requested-With: XMLHttpRequest", TokenHeader(tokenLine)});
    if (!headers) {
        return {};
    }
    CURL* handle = curl.get();
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &CCurlRequest::WriteCallback);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, kStallSeconds);
    Perform(handle);
    return m_reply;
}

std::string CCurlRequest::PostWithToken(const std::string& url) {
    BeginReply();
    EasyHandle curl(curl_easy_init(), &curl_easy_cleanup);
    if (!curl) {
        DebugPrint("curl_easy_init error\n");
        return {};
    }
    std::string tokenLine;
    if (!BuildTokenLine(tokenLine)) {
        return {};
    }
    HeaderList headers = MakeHeaders({"Content-Type:application/json;charset=UTF-8",
                                      "X-Requested-With:XMLHttpRequest", TokenHeader(tokenLine)});
    if (!headers) {
        return {};
    }
    CURL* handle = curl.get();
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_POST, 1L);
    // The body is the X-token line itself; libcurl does not copy it, and
    // `tokenLine` outlives the transfer.
    curl_easy_setopt(handle, CURLOPT_POSTFIELDS, tokenLine.c_str());
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &CCurlRequest::WriteCallback);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(handle, CURLOPT_TIMEOUT, kPostTimeoutSeconds);
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
    Perform(handle);
    return m_reply;
}
