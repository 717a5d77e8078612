#include "stats/HttpReplyHead.h"

#include "platform/os/Text.h"

namespace {

constexpr std::size_t kMaxHeaders = 256;

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// "HTTP/1.1 200 OK" → 200; 0 unless three digits follow the version.
int ParseStatus(std::string_view line) {
    const std::size_t space = line.find(' ');
    if (space == std::string_view::npos) {
        return 0;
    }
    std::string_view code = line.substr(space + 1);
    if (code.size() < 3) {
        return 0;
    }
    int status = 0;
    for (std::size_t i = 0; i < 3; ++i) {
        if (code[i] < '0' || code[i] > '9') {
            return 0;
        }
        status = status * 10 + (code[i] - '0');
    }
    if (code.size() > 3 && code[3] != ' ') {
        return 0;
    }
    return status;
}

}  // namespace

void HttpReplyHead::AddLine(std::string_view line) {
    if (!line.empty() && line.back() == '\n') {
        line.remove_suffix(1);
    }
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    if (line.size() >= 5 && os::AsciiEqualsIgnoreCase(line.substr(0, 5), "HTTP/")) {
        // A new reply (the first, or the one after an interim block).
        m_status = ParseStatus(line);
        m_complete = false;
        m_headers.clear();
        return;
    }
    if (line.empty()) {
        m_complete = m_status >= 200;
        return;
    }
    if (m_complete) {
        // Trailers after the block are not headers of the reply.
        return;
    }
    if (IsBlank(line.front())) {
        // A folded continuation of the previous header's value.
        if (!m_headers.empty()) {
            std::string& value = m_headers.back().second;
            const std::string_view more = Trim(line);
            if (!more.empty()) {
                if (!value.empty()) {
                    value += ' ';
                }
                value.append(more);
            }
        }
        return;
    }
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0 || m_headers.size() >= kMaxHeaders) {
        return;
    }
    m_headers.emplace_back(std::string(Trim(line.substr(0, colon))),
                           std::string(Trim(line.substr(colon + 1))));
}

std::optional<std::string> HttpReplyHead::Header(std::string_view name, std::size_t index) const {
    for (const auto& [headerName, value] : m_headers) {
        if (os::AsciiEqualsIgnoreCase(headerName, name)) {
            if (index == 0) {
                return value;
            }
            --index;
        }
    }
    return std::nullopt;
}
