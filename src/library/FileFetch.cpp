#include "library/FileFetch.h"

#include <curl/curl.h>
#include <fcntl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string_view>

#include "library/FetchAddress.h"
#include "library/SideFile.h"
#include "net/CurlEasy.h"
#include "platform/os/DebugPrint.h"
#include "platform/os/FileIo.h"

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

// Opens the side file the way CreateFileW does for the given disposition (see
// SideFile for how it is opened and shared).
SideFile OpenSideFile(const std::string& path, DWORD disposition) {
    switch (disposition) {
        case CREATE_NEW:
            return SideFile::Open(path, O_CREAT | O_EXCL, false);
        case CREATE_ALWAYS:
            return SideFile::Open(path, O_CREAT, true);
        case OPEN_EXISTING:
            return SideFile::Open(path, 0, false);
        case OPEN_ALWAYS:
            return SideFile::Open(path, O_CREAT, false);
        case TRUNCATE_EXISTING:
            return SideFile::Open(path, 0, true);
        default:
            return SideFile();
    }
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
        if (!ReadHeadLine(line, m_length)) {
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
        if (!m_file.Write(data, size)) {
            m_failed = true;
            Progress(1);
            return 0;
        }
        const std::uint64_t end = m_written + size;
        while (m_written < end) {
            m_written += std::min<std::uint64_t>(CFileFetch::kStepSize, end - m_written);
            if (Progress(0) == 1) {
                m_failed = true;
                m_file.Truncate(m_written);
                return 0;
            }
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
        const bool closed = complete && m_file.Sync();
        if (m_overlong) {
            m_file.Remove();
        }
        if (!m_file.Close() || !closed) {
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
        if (code != 200 || !m_length.value || m_length.garbled) {
            return false;
        }
        if (*m_length.value > m_sizeCap) {
            DebugPrint("file fetch refused: %llu bytes announced, more than %llu\n",
                       static_cast<unsigned long long>(*m_length.value),
                       static_cast<unsigned long long>(m_sizeCap));
            return false;
        }
        m_total = *m_length.value;
        if (m_observer != nullptr) {
            m_observer->OnStart(m_path, m_total, m_userData);
        }
        m_file = OpenSideFile(m_sidePath, m_disposition);
        if (!m_file.Valid()) {
            return false;
        }
        m_started = true;
        return true;
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
    HeadLength m_length;
    bool m_started = false;
    bool m_failed = false;
    bool m_overlong = false;  // the body went past the announced length
    std::uint64_t m_total = 0;
    std::uint64_t m_written = 0;
    SideFile m_file;
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
