#include "net/PostForm.h"

#include <curl/curl.h>

#include <climits>
#include <cstring>
#include <memory>

#include "net/CurlEasy.h"
#include "platform/os/DebugPrint.h"
#include "platform/os/Text.h"

namespace {

// WinInet splits an address into buffers of 260 characters; a longer host or
// path does not fit and the post fails.
constexpr std::size_t kMaxUrlPart = 259;

struct UrlDeleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
struct CurlTextDeleter {
    void operator()(char* text) const { curl_free(text); }
};
using CurlText = std::unique_ptr<char, CurlTextDeleter>;

CurlText UrlPart(CURLU* url, CURLUPart part) {
    char* text = nullptr;
    if (curl_url_get(url, part, &text, 0) != CURLUE_OK) {
        return nullptr;
    }
    return CurlText(text);
}

// The address the request really goes to: the scheme, host and path of
// `url`, with the port it names or 80. Empty when the address cannot be split.
std::string RequestAddress(std::string_view url) {
    std::unique_ptr<CURLU, UrlDeleter> parsed(curl_url());
    if (!parsed) {
        return {};
    }
    const std::string text(url);
    if (text.find('\0') != std::string::npos ||
        curl_url_set(parsed.get(), CURLUPART_URL, text.c_str(), CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK) {
        return {};
    }
    const CurlText scheme = UrlPart(parsed.get(), CURLUPART_SCHEME);
    const CurlText host = UrlPart(parsed.get(), CURLUPART_HOST);
    const CurlText path = UrlPart(parsed.get(), CURLUPART_PATH);
    // The post never speaks TLS, so only a plain-http address may be posted:
    // sending an https address's body in clear text would expose it.
    if (!scheme || !host || !path || std::strcmp(scheme.get(), "http") != 0) {
        return {};
    }
    std::string target = path.get();
    if (const CurlText query = UrlPart(parsed.get(), CURLUPART_QUERY)) {
        target += '?';
        target += query.get();
    }
    if (os::Utf16Length(host.get()) > kMaxUrlPart || os::Utf16Length(target) > kMaxUrlPart) {
        return {};
    }
    std::string port = "80";
    if (const CurlText named = UrlPart(parsed.get(), CURLUPART_PORT)) {
        port = named.get();
    }
    return "http://" + std::string(host.get()) + ":" + port + target;
}

// What the exchange learnt of the reply. Only the final reply counts: an
// interim "100 Continue" block is forgotten when the next status line comes.
struct ReplyState {
    bool answered = false;  // a status line arrived
    bool lengthSeen = false;
    long long length = 0;
    std::string body;
    std::size_t cap = net::kMaxReplyBytes;  // the longest reply read; the exchange's, kept across replies
};

size_t OnHeader(char* data, size_t size, size_t count, void* context) {
    auto* state = static_cast<ReplyState*>(context);
    const std::string_view line(data, size * count);
    if (os::AsciiStartsWithIgnoreCase(line, "HTTP/")) {
        const std::size_t cap = state->cap;
        *state = ReplyState{};
        state->cap = cap;
        state->answered = true;
    } else if (os::AsciiStartsWithIgnoreCase(line, "content-length:") && !state->lengthSeen) {
        // The first such header, read as text and converted like WinInet's
        // callers convert it.
        state->lengthSeen = true;
        state->length = LeadingInteger(line.substr(std::strlen("content-length:")));
    }
    return size * count;
}

size_t OnBody(char* data, size_t size, size_t count, void* context) {
    auto* state = static_cast<ReplyState*>(context);
    const size_t bytes = size * count;
    if (!state->lengthSeen || state->length <= 0 ||
        static_cast<unsigned long long>(state->length) > state->cap) {
        // The reply is not read at all without an announced length, or with
        // one beyond the cap; stopping here keeps an endless chunked reply
        // from holding the thread.
        return 0;
    }
    const auto wanted = static_cast<unsigned long long>(state->length);
    if (state->body.size() < wanted) {
        state->body.append(
            data, static_cast<size_t>(std::min<unsigned long long>(bytes, wanted - state->body.size())));
    }
    return bytes;
}

}  // namespace

int LeadingInteger(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size() && (text[pos] == ' ' || (text[pos] >= '\t' && text[pos] <= '\r'))) {
        ++pos;
    }
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    long long value = 0;
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
        value = value * 10 + (text[pos] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1) {
            value = static_cast<long long>(INT_MAX) + 1;
        }
    }
    if (negative) {
        return static_cast<int>(-value);
    }
    return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

bool PostForm(std::string_view url, const void* body, std::size_t length, std::string* reply, bool utf8Reply,
              const net::TransferLimits& limits) {
    if (body == nullptr && length != 0) {
        return false;
    }
    const std::string address = RequestAddress(url);
    if (address.empty()) {
        return false;
    }
    net::CurlEasy easy(limits);
    if (!easy) {
        return false;
    }
    // One header line of our own; libcurl's default Accept and a 100-continue
    // handshake are not part of the exchange.
    net::CurlHeaderList headers;
    for (const char* line : {"Content-Type: application/x-www-form-urlencoded", "Accept:", "Expect:"}) {
        if (!headers.Append(line)) {
            return false;
        }
    }

    ReplyState state;
    state.cap = limits.reply;
    CURL* handle = easy.Get();
    curl_easy_setopt(handle, CURLOPT_URL, address.c_str());
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http");
    curl_easy_setopt(handle, CURLOPT_POST, 1L);
    curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(length));
    curl_easy_setopt(handle, CURLOPT_POSTFIELDS, length == 0 ? "" : static_cast<const char*>(body));
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers.Get());
    curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, OnHeader);
    curl_easy_setopt(handle, CURLOPT_HEADERDATA, &state);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, OnBody);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &state);
    easy.Perform();

    if (state.answered && state.lengthSeen && state.length > 0 &&
        static_cast<unsigned long long>(state.length) > limits.reply) {
        DebugPrint("form post reply refused: more than %zu bytes announced\n", limits.reply);
        return false;
    }
    // Sent means the server answered with a status line; headers libcurl
    // refuses, or a body cut short or not read, do not undo that.
    const bool sent = state.answered;
    // A negative length is a buffer WinInet's callers cannot allocate: the
    // reply stays unchanged, as with 0 or no length at all.
    if (!sent || reply == nullptr || !state.lengthSeen || state.length <= 0) {
        return sent;
    }
    try {
        std::string_view bytes(state.body);
        if (const std::size_t nul = bytes.find('\0'); nul != std::string_view::npos) {
            bytes = bytes.substr(0, nul);
        }
        // UTF-8 and the local code page are the same text here; either way
        // the bytes go through the conversion so a malformed sequence cannot
        // reach the caller.
        (void)utf8Reply;
        *reply = os::Utf16ToUtf8(os::Utf8ToUtf16(bytes));
    } catch (...) {
        // A conversion that cannot allocate leaves the reply as it was.
    }
    return sent;
}
