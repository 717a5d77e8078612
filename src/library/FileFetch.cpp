#include "library/FileFetch.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string_view>

#include "library/FetchAddress.h"
#include "net/CurlEasy.h"
#include "platform/os/DebugPrint.h"
#include "platform/os/FileIo.h"
#include "platform/os/Text.h"
#include "platform/os/UniqueFd.h"

// The transfer runs as one blocking transfer on the caller's thread (the
// client's common transfer of net/CurlEasy.h), which is exactly the shape of
// this fetcher. The write callback hands each received piece on in steps of
// at most 8192 bytes, so the observer can stop the download after any step by
// making the callback refuse the data.

namespace {

// The agent name the fetcher has always announced.
constexpr const char* kAgent = "MyDownLoad";

// libcurl's receive buffer. Larger than a step so that a fast server is read
// with few system calls; the steps handed to the file and the observer stay
// at 8192 bytes. The memory used stays this size whatever the file size.
constexpr long kReceiveBuffer = 256 * 1024;

// Written bytes are handed to the disk in windows of this size while the
// download goes on, so that the sync before the final move has only the last
// window left to wait for, and a large download does not pile up dirty pages.
constexpr std::uint64_t kWritebackWindow = 8 * 1024 * 1024;

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() &&
           (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' || text.back() == '\n')) {
        text.remove_suffix(1);
    }
    return text;
}

bool HeaderNameIs(std::string_view line, std::string_view name) {
    return line.size() > name.size() && line[name.size()] == ':' &&
           os::AsciiEqualsIgnoreCase(line.substr(0, name.size()), name);
}

// A Content-Length value: decimal digits only. A value that is not a number is
// treated like a missing one instead of being read as 0, which would turn a
// garbled reply into an empty "complete" file.
std::optional<std::uint64_t> ParseLength(std::string_view value) {
    value = Trim(value);
    if (value.empty() || value.size() > 18) {
        return std::nullopt;
    }
    std::uint64_t length = 0;
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), length);
    if (ec != std::errc() || end != value.data() + value.size()) {
        return std::nullopt;
    }
    return length;
}

// Opens the side file the way CreateFileW does for the given disposition, for
// writing, owner-only (0600), not shared with another fetch into the same
// file, and not handed on to programs the client starts.
os::UniqueFd OpenSideFile(const std::string& path, DWORD disposition) {
    int flags = O_WRONLY | O_CLOEXEC | O_NOFOLLOW;
    bool truncate = false;
    switch (disposition) {
        case CREATE_NEW:
            flags |= O_CREAT | O_EXCL;
            break;
        case CREATE_ALWAYS:
            flags |= O_CREAT;
            truncate = true;
            break;
        case OPEN_EXISTING:
            break;
        case OPEN_ALWAYS:
            flags |= O_CREAT;
            break;
        case TRUNCATE_EXISTING:
            truncate = true;
            break;
        default:
            return os::UniqueFd();
    }
    os::UniqueFd fd(open(path.c_str(), flags, 0600));
    // Truncate only once the lock is ours, so that a second fetch into the
    // same side file cannot destroy the first one's bytes.
    if (!fd || flock(fd.Get(), LOCK_EX | LOCK_NB) != 0 || (truncate && ftruncate(fd.Get(), 0) != 0) ||
        fchmod(fd.Get(), 0600) != 0) {
        return os::UniqueFd();
    }
    return fd;
}

// The state of one transfer, shared with libcurl's callbacks.
class Transfer {
  public:
    Transfer(IDownLoadCallBack* observer, DWORD userData, std::string path, std::string sidePath,
             DWORD disposition, std::uint64_t sizeCap)
        : m_observer(observer),
          m_userData(userData),
          m_path(std::move(path)),
          m_sidePath(std::move(sidePath)),
          m_disposition(disposition),
          m_sizeCap(sizeCap) {}

    // Called by libcurl with each header line, the status line first.
    std::size_t OnHeaderLine(CURL* curl, std::string_view line) {
        if (line.substr(0, 5) == "HTTP/") {
            m_length.reset();
            m_lengthConflict = false;
            return line.size();
        }
        if (HeaderNameIs(line, "content-length")) {
            const auto length = ParseLength(line.substr(15));
            if (!length || (m_length && *m_length != *length)) {
                m_lengthConflict = true;
            }
            m_length = length;
            return line.size();
        }
        if (!Trim(line).empty()) {
            return line.size();
        }
        long code = 0;
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &code);
        if (code >= 100 && code < 200) {
            return line.size();  // an interim reply; the real one follows
        }
        return OnHeadersDone(static_cast<int>(code)) ? line.size() : 0;
    }

    // Called by libcurl with each piece of the body. The piece goes to the
    // side file in one write; the observer then hears of it in steps of at
    // most 8192 bytes, each already in the file. An observer that stops the
    // fetch leaves the side file holding exactly the bytes it was told of.
    std::size_t OnBody(const char* data, std::size_t size) {
        if (!m_started || m_failed) {
            return 0;
        }
        if (size > m_total - m_written) {
            // More than announced: the length was wrong, and what the side
            // file holds is not the file. This also keeps a body within the
            // size cap, which the announced length is.
            m_failed = true;
            m_overlong = true;
            return 0;
        }
        if (!os::WriteAll(m_fd.Get(), data, size)) {
            m_failed = true;
            Progress(1);
            return 0;
        }
        const std::uint64_t end = m_written + size;
        while (m_written < end) {
            m_written += std::min<std::uint64_t>(CFileFetch::kStepSize, end - m_written);
            if (Progress(0) == 1) {
                m_failed = true;
                [[maybe_unused]] const int cut = ftruncate(m_fd.Get(), static_cast<off_t>(m_written));
                return 0;
            }
        }
        if (m_written - m_writebackStart >= kWritebackWindow) {
            sync_file_range(m_fd.Get(), static_cast<off_t>(m_writebackStart),
                            static_cast<off_t>(m_written - m_writebackStart), SYNC_FILE_RANGE_WRITE);
            m_writebackStart = m_written;
        }
        return size;
    }

    // After the transfer library is done: the outcome of the transfer.
    bool Finish(CURLcode result) {
        if (result != CURLE_OK && m_started && !m_failed) {
            // The connection broke, stalled or ended before the announced
            // length: a failed read for the observer.
            m_failed = true;
            Progress(1);
        }
        const bool complete = result == CURLE_OK && m_started && !m_failed && m_written == m_total;
        // The bytes reach the disk before the side file is moved over the
        // target, so a crash never leaves a target that looks complete.
        // A side file opened without truncation (OPEN_ALWAYS, OPEN_EXISTING) may
        // be longer than this download; its old tail must not reach the target.
        const bool closed = complete && m_fd && ftruncate(m_fd.Get(), static_cast<off_t>(m_written)) == 0 &&
                            fdatasync(m_fd.Get()) == 0;
        if (m_overlong) {
            RemoveSideFile();
        }
        if (!m_fd.Close() || !closed) {
            return false;
        }
        if (m_observer != nullptr) {
            m_observer->OnComplete(m_userData);
        }
        return true;
    }

  private:
    bool OnHeadersDone(int code) {
        if (m_observer != nullptr) {
            m_observer->OnStatus(code, m_userData);
        }
        if (code != 200 || !m_length || m_lengthConflict) {
            return false;
        }
        if (*m_length > m_sizeCap) {
            DebugPrint("file fetch refused: %llu bytes announced, more than %llu\n",
                       static_cast<unsigned long long>(*m_length),
                       static_cast<unsigned long long>(m_sizeCap));
            return false;
        }
        m_total = *m_length;
        if (m_observer != nullptr) {
            m_observer->OnStart(m_path, m_total, m_userData);
        }
        m_fd = OpenSideFile(m_sidePath, m_disposition);
        if (!m_fd) {
            return false;
        }
        m_started = true;
        return true;
    }

    // Removes the side file this transfer wrote, while its descriptor still
    // holds the lock: only when the path still names that file.
    void RemoveSideFile() {
        struct stat opened {};
        struct stat named {};
        if (m_fd && fstat(m_fd.Get(), &opened) == 0 && lstat(m_sidePath.c_str(), &named) == 0 &&
            opened.st_dev == named.st_dev && opened.st_ino == named.st_ino) {
            unlink(m_sidePath.c_str());
        }
    }

    int Progress(int failed) {
        return m_observer == nullptr ? 0 : m_observer->OnProgress(failed, 0, m_written, m_total, m_userData);
    }

    IDownLoadCallBack* m_observer;
    DWORD m_userData;
    std::string m_path;
    std::string m_sidePath;
    DWORD m_disposition;
    std::uint64_t m_sizeCap;
    std::optional<std::uint64_t> m_length;
    bool m_lengthConflict = false;
    bool m_started = false;
    bool m_failed = false;
    bool m_overlong = false;  // the body went past the announced length
    std::uint64_t m_total = 0;
    std::uint64_t m_written = 0;
    std::uint64_t m_writebackStart = 0;
    os::UniqueFd m_fd;
};

std::size_t HeaderCallback(char* data, std::size_t size, std::size_t count, void* user) {
    auto* context = static_cast<std::pair<Transfer*, CURL*>*>(user);
    return context->first->OnHeaderLine(context->second, std::string_view(data, size * count));
}

std::size_t WriteCallback(char* data, std::size_t size, std::size_t count, void* user) {
    return static_cast<Transfer*>(user)->OnBody(data, size * count);
}

}  // namespace

HRESULT CFileFetch::Fetch(const std::string& url, const std::string& targetPath, DWORD creationDisposition) {
    const std::optional<FetchAddress> address = SplitFetchAddress(url);
    if (!address) {
        return E_FAIL;
    }
    const std::string sidePath = targetPath + ".upd";

    bool ok = false;
    {
        Transfer transfer(m_observer, m_userData, address->path, sidePath, creationDisposition, m_sizeCap);
        // Silence for longer than the stall limit, while connecting or within
        // the reply, ends the fetch, and so does the overall limit.
        net::CurlEasy easy({m_stallLimit, m_stallLimit, m_overallLimit});
        easy.SetStopEvent(m_stop);
        // Accept: curl would add "*/*"; the fetcher sends no accepted types.
        net::CurlHeaderList headers;
        if (easy && headers.Append("Accept:") && headers.Append("Connection: Keep-Alive")) {
            CURL* h = easy.Get();
            std::pair<Transfer*, CURL*> headerContext(&transfer, h);
            const std::string requestUrl = address->RequestUrl();
            curl_easy_setopt(h, CURLOPT_URL, requestUrl.c_str());
            curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, address->secure ? "https" : "http");
            curl_easy_setopt(h, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
            curl_easy_setopt(h, CURLOPT_USERAGENT, kAgent);
            curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.Get());
            curl_easy_setopt(h, CURLOPT_BUFFERSIZE, kReceiveBuffer);
            curl_easy_setopt(h, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
            curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &HeaderCallback);
            curl_easy_setopt(h, CURLOPT_HEADERDATA, &headerContext);
            curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &WriteCallback);
            curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer);
            ok = transfer.Finish(easy.Perform());
        } else {
            transfer.Finish(CURLE_OUT_OF_MEMORY);
        }
    }
    // Only a file takes the download's place: a device or FIFO at the target
    // stays what it is (the fetch then fails, the side file holds the bytes).
    if (ok && os::IsReplaceableTarget(targetPath) && std::rename(sidePath.c_str(), targetPath.c_str()) == 0) {
        return S_OK;
    }
    if (m_observer != nullptr) {
        m_observer->OnStatus(500, m_userData);
    }
    return E_FAIL;
}
