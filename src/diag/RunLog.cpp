#include "diag/RunLog.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "platform/os/DebugPrint.h"
#include "platform/os/FileIo.h"
#include "platform/os/Text.h"

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
    m_opened = true;
    // The log carries the saved login token: only a regular file of this
    // user, never through a link someone planted, readable by its owner only.
    os::UniqueFd fd = os::OpenOwnRegularFile(m_path, O_WRONLY | O_APPEND | O_CREAT, 0600);
    struct stat st {};
    if (fd.Valid() && fstat(fd.Get(), &st) == 0 && (st.st_mode & 077) != 0) {
        // A log of an earlier run may be readable by others. It is the user's
        // own file, so its owner bits stay as they are; the others lose access.
        if (fchmod(fd.Get(), st.st_mode & 0700) != 0) {
            fd.Reset();
        }
    }
    if (!fd.Valid()) {
        DebugPrint("run log %s not opened (%s); the run goes on without it", m_path.c_str(),
                   std::strerror(errno));
        return;
    }
    m_fd = std::move(fd);
}

bool CRunLog::IsOpened() const {
    std::lock_guard lock(m_mutex);
    return m_opened;
}

void CRunLog::Write(std::string_view text) {
    std::lock_guard lock(m_mutex);
    if (!m_opened || !m_fd.Valid()) {
        return;
    }
    // One unbuffered append per text under the lock: nothing waits in a
    // buffer when the process dies, and texts of two threads never interleave
    // mid-text. A full disk drops the text silently.
    os::WriteAll(m_fd.Get(), text);
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
