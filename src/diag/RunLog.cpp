#include "diag/RunLog.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/os/Text.h"

CRunLog::~CRunLog() {
    if (m_fd >= 0) {
        close(m_fd);
    }
}

CRunLog& CRunLog::Instance() {
    static CRunLog log;
    return log;
}

void CRunLog::SetPath(std::string path) {
    std::lock_guard lock(m_mutex);
    m_path = std::move(path);
}

void CRunLog::Open() {
    std::lock_guard lock(m_mutex);
    if (m_path.empty() || m_opened) {
        return;
    }
    // The log carries the saved login token, so it is readable by its owner only.
    m_fd = open(m_path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    m_opened = true;
}

bool CRunLog::IsOpened() const {
    std::lock_guard lock(m_mutex);
    return m_opened;
}

void CRunLog::Write(std::string_view text) {
    std::lock_guard lock(m_mutex);
    if (!m_opened || m_fd < 0) {
        return;
    }
    // One unbuffered append per text: nothing waits in a buffer when the
    // process dies, and texts of two threads never interleave mid-text.
    while (!text.empty()) {
        const ssize_t n = ::write(m_fd, text.data(), text.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return;  // a full disk or a closed file: dropped silently
        }
        text.remove_prefix(static_cast<std::size_t>(n));
    }
}

void CRunLog::Write(std::u16string_view text) {
    Write(std::string_view(os::Utf16ToUtf8(text)));
}

void WriteRunLog(std::string_view text) {
    CRunLog::Instance().Write(text);
}

std::string RunLogMarker(std::string_view name) {
    std::string marker = "\n";
    marker.append(29, '*');
    marker.append(name);
    marker.append(37, '*');
    marker.push_back('\n');
    return marker;
}
