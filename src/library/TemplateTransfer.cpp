#include "library/TemplateTransfer.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <optional>
#include <string_view>

#include "library/SideFile.h"
#include "net/CurlEasy.h"
#include "platform/os/DebugPrint.h"
#include "platform/os/Event.h"
#include "platform/os/FileIo.h"
#include "platform/os/UniqueFd.h"

// One blocking libcurl transfer on the worker's thread (net/CurlEasy.h, whose
// run ends on the stop event and on silence). Each received piece is written
// straight to the side file's descriptor from libcurl's own buffer: no copy,
// no allocation per piece, and a percentage only when it changes, so that a
// loopback or LAN download runs at the speed of the disk.

namespace {

// libcurl's receive buffer: large, so that a fast server is read with few
// system calls and each piece is one large write. The memory stays this size
// whatever the document's size.
constexpr long kReceiveBuffer = 512 * 1024;

// More redirects than a store's download address needs; a loop ends here.
constexpr long kMaxRedirects = 8;

// The schemes a download may use, for the first address and every redirect:
// a page must not make the client read a local file (file://) or talk to
// another kind of server.
constexpr const char* kSchemes = "http,https";

int PercentOf(std::uint64_t received, std::uint64_t total) {
    const std::uint64_t percent = total > std::numeric_limits<std::uint64_t>::max() / 100
                                      ? received / (total / 100)
                                      : received * 100 / total;
    return static_cast<int>(std::min<std::uint64_t>(percent, 100));
}

// The state of one run, shared with libcurl's callbacks; every call runs on
// the transfer's thread.
class Receiver {
  public:
    Receiver(CURL* curl, const std::string& sidePath, std::uint64_t sizeCap,
             const CTemplateTransfer::PercentSink& sink)
        : m_curl(curl), m_sidePath(sidePath), m_sizeCap(sizeCap), m_sink(sink) {}

    // Each header line of each reply (a redirect's, an interim one's, the
    // final one's), the status line first; 0 ends the transfer.
    std::size_t OnHeaderLine(std::string_view line) {
        if (m_file.Valid()) {
            // Trailers after a chunked body: the head was read long ago, and
            // they must change neither its length nor the open file.
            return line.size();
        }
        if (!ReadHeadLine(line, m_length)) {
            return line.size();
        }
        curl_easy_getinfo(m_curl, CURLINFO_RESPONSE_CODE, &m_status);
        if (m_status < 200 || (m_status >= 300 && m_status < 400)) {
            // An interim reply, or a redirect libcurl follows (one it does
            // not follow delivers its body, which OnBody refuses).
            return line.size();
        }
        return m_status < 300 && StartBody() ? line.size() : 0;
    }

    // Each piece of the final reply's body, straight into the side file.
    std::size_t OnBody(const char* data, std::size_t size) {
        if (!m_file.Valid() || m_failed) {
            return 0;  // a body of a reply that is not the document
        }
        const std::uint64_t limit = m_length.value.value_or(m_sizeCap);
        if (size > limit - m_file.Written()) {
            // Longer than announced (a chunked body may say anything in its
            // Content-Length) or, without a length, than the cap.
            m_failed = true;
            return 0;
        }
        if (!m_file.Write(data, size)) {
            m_failed = true;
            return 0;
        }
        if (m_length.value && *m_length.value > 0) {
            const int percent = PercentOf(m_file.Written(), *m_length.value);
            if (percent != m_percent) {
                m_percent = percent;
                if (m_sink) {
                    m_sink(percent);
                }
            }
        }
        return size;
    }

    // After libcurl is done: the outcome, with the side file synced or gone.
    CTemplateTransfer::Outcome Finish(CURLcode result, bool stopped) {
        const bool whole = result == CURLE_OK && m_file.Valid() && !m_failed &&
                           (!m_length.value || *m_length.value == m_file.Written());
        if (whole && m_file.Sync()) {
            // The bytes are on the disk: the close cannot lose any of them.
            m_file.Close();
            return CTemplateTransfer::Outcome::Complete;
        }
        m_file.Remove();
        if (result != CURLE_OK) {
            DebugPrint("template transfer ended: %s (status %ld)\n", curl_easy_strerror(result), m_status);
        }
        return stopped ? CTemplateTransfer::Outcome::Stopped : CTemplateTransfer::Outcome::Failed;
    }

    long Status() const { return m_status; }
    std::uint64_t Received() const { return m_file.Written(); }

  private:
    // The final reply's head says 2xx: the side file is made, or the
    // transfer refused, before any byte of the body is written.
    bool StartBody() {
        if (m_length.garbled) {
            return false;
        }
        if (m_length.value && *m_length.value > m_sizeCap) {
            DebugPrint("template transfer refused: %llu bytes announced, more than %llu\n",
                       static_cast<unsigned long long>(*m_length.value),
                       static_cast<unsigned long long>(m_sizeCap));
            return false;
        }
        m_file = SideFile::Open(m_sidePath, O_CREAT, true);
        return m_file.Valid();
    }

    CURL* m_curl;
    const std::string& m_sidePath;
    std::uint64_t m_sizeCap;
    const CTemplateTransfer::PercentSink& m_sink;
    HeadLength m_length;
    long m_status = 0;
    bool m_failed = false;
    int m_percent = -1;
    SideFile m_file;
};

std::size_t HeaderCallback(char* data, std::size_t size, std::size_t count, void* user) {
    return static_cast<Receiver*>(user)->OnHeaderLine(std::string_view(data, size * count));
}

std::size_t WriteCallback(char* data, std::size_t size, std::size_t count, void* user) {
    return static_cast<Receiver*>(user)->OnBody(data, size * count);
}

bool SetOptions(CURL* h, const std::string& url, Receiver& receiver) {
    return curl_easy_setopt(h, CURLOPT_URL, url.c_str()) == CURLE_OK &&
           curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, kSchemes) == CURLE_OK &&
           curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, kSchemes) == CURLE_OK &&
           curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L) == CURLE_OK &&
           curl_easy_setopt(h, CURLOPT_MAXREDIRS, kMaxRedirects) == CURLE_OK &&
           curl_easy_setopt(h, CURLOPT_BUFFERSIZE, kReceiveBuffer) == CURLE_OK &&
           curl_easy_setopt(h, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L) == CURLE_OK &&
           curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &HeaderCallback) == CURLE_OK &&
           curl_easy_setopt(h, CURLOPT_HEADERDATA, &receiver) == CURLE_OK &&
           curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &WriteCallback) == CURLE_OK &&
           curl_easy_setopt(h, CURLOPT_WRITEDATA, &receiver) == CURLE_OK;
}

// Puts a rename in `path`'s folder on the disk.
bool SyncFolderOf(const std::string& path) {
    std::string folder = std::filesystem::path(path).parent_path().string();
    if (folder.empty()) {
        folder = ".";
    }
    const os::UniqueFd fd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return fd && fsync(fd.Get()) == 0;
}

}  // namespace

CTemplateTransfer::CTemplateTransfer(std::string url, std::string sidePath)
    : m_url(std::move(url)), m_sidePath(std::move(sidePath)) {}

CTemplateTransfer::Outcome CTemplateTransfer::Run() {
    m_status = 0;
    m_received = 0;
    // Connecting, and any silence once connected, may last the stall limit;
    // the whole transfer has no limit (a large document on a slow line).
    net::CurlEasy easy({m_stallLimit, m_stallLimit, std::chrono::milliseconds(0)});
    if (!easy) {
        return Outcome::Failed;
    }
    // A stop event set already ends the run before it connects.
    easy.SetStopEvent(m_stop);
    Receiver receiver(easy.Get(), m_sidePath, m_sizeCap, m_percentSink);
    if (!SetOptions(easy.Get(), m_url, receiver)) {
        return Outcome::Failed;
    }
    const CURLcode result = easy.Perform();
    const Outcome outcome =
        receiver.Finish(result, result != CURLE_OK && m_stop != nullptr && m_stop->IsSet());
    m_status = receiver.Status();
    m_received = receiver.Received();
    return outcome;
}

bool CommitTemplateFile(const std::string& sidePath, const std::string& finalPath) {
    struct stat side {};
    if (lstat(sidePath.c_str(), &side) != 0 || !S_ISREG(side.st_mode) ||
        !os::IsReplaceableTarget(finalPath) || std::rename(sidePath.c_str(), finalPath.c_str()) != 0) {
        return false;
    }
    // The document is under its name now; a folder that cannot be synced
    // only means that a power loss may bring the old name back.
    if (!SyncFolderOf(finalPath)) {
        DebugPrint("template commit: the folder of %s not synced\n", finalPath.c_str());
    }
    return true;
}
