#include "stats/HttpClientT.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <magic.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

#include "platform/os/FileIo.h"
#include "platform/os/Guid.h"
#include "platform/os/UniqueFd.h"
#include "stats/HttpClientExceptionT.h"
#include "stats/UploadTransfer.h"

namespace {

constexpr char kBoundaryPrefix[] = "----QBRAX-";
constexpr char kUnknownMimeType[] = "application/octet-stream";
constexpr std::size_t kSniffBytes = 256;
constexpr std::size_t kReadBlock = 57344;
constexpr char kLineEnd[] = "\r\n";

// Reads exactly `size` bytes at `offset`, in blocks of at most kReadBlock.
void ReadExactly(int fd, char* buffer, std::size_t size, std::uint64_t offset, const std::string& path) {
    std::size_t done = 0;
    while (done < size) {
        const std::size_t block = std::min(kReadBlock, size - done);
        const ssize_t got = ::pread(fd, buffer + done, block, static_cast<off_t>(offset + done));
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw CHttpClientExceptionT(CHttpClientExceptionT::kFileRead, "Reading " + path + " failed.",
                                        errno);
        }
        if (static_cast<std::size_t>(got) < block) {
            // The file shrank after its length was announced.
            throw CHttpClientExceptionT(CHttpClientExceptionT::kFileRead,
                                        "Reading " + path + " gave fewer bytes than asked.");
        }
        done += block;
    }
}

// The MIME type of a file from its first bytes, as the content sniffing of
// the system reports it; "application/octet-stream" when it finds none.
std::string SniffMimeType(const char* data, std::size_t size) {
    if (size == 0) {
        return kUnknownMimeType;
    }
    std::unique_ptr<magic_set, decltype(&magic_close)> cookie(magic_open(MAGIC_MIME_TYPE), magic_close);
    if (!cookie || magic_load(cookie.get(), nullptr) != 0) {
        return kUnknownMimeType;
    }
    const char* type = magic_buffer(cookie.get(), data, size);
    if (type == nullptr || *type == '\0' || std::strcmp(type, "application/x-empty") == 0) {
        return kUnknownMimeType;
    }
    return type;
}

std::string MakeBoundary() {
    GUID guid{};
    char hex[33] = "00000000000000000000000000000000";
    if (os::CreateGuid(&guid)) {
        std::snprintf(hex, sizeof hex, "%08x%04x%04x%02x%02x%02x%02x%02x%02x%02x%02x", guid.Data1,
                      static_cast<unsigned>(guid.Data2), static_cast<unsigned>(guid.Data3),
                      static_cast<unsigned>(guid.Data4[0]), static_cast<unsigned>(guid.Data4[1]),
                      static_cast<unsigned>(guid.Data4[2]), static_cast<unsigned>(guid.Data4[3]),
                      static_cast<unsigned>(guid.Data4[4]), static_cast<unsigned>(guid.Data4[5]),
                      static_cast<unsigned>(guid.Data4[6]), static_cast<unsigned>(guid.Data4[7]));
    }
    return std::string(kBoundaryPrefix) + hex + "-";
}

bool IsPlainHttpAddress(const std::string& url) {
    if (url.find('\0') != std::string::npos) {
        return false;
    }
    std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> parsed(curl_url(), curl_url_cleanup);
    if (!parsed ||
        curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK) {
        return false;
    }
    char* scheme = nullptr;
    if (curl_url_get(parsed.get(), CURLUPART_SCHEME, &scheme, 0) != CURLUE_OK) {
        return false;
    }
    const bool http = std::strcmp(scheme, "http") == 0;
    curl_free(scheme);
    return http;
}

[[noreturn]] void ThrowMemory() {
    throw CHttpClientExceptionT(CHttpClientExceptionT::kMemory, "Memory is exhausted.");
}

}  // namespace

struct CHttpClientT::UploadContext {
    std::vector<os::UniqueFd> files;  // one per argument; none for a text argument
    std::vector<std::uint64_t> sizes;
    std::vector<std::string> mimeTypes;
    std::shared_ptr<UploadTransfer> transfer;
    std::size_t paramIndex = 0;  // the argument being written
    bool inFile = false;         // between a file's opening lines and its last byte
    std::uint64_t fileOffset = 0;
    bool lineEndOwed = false;  // a file's data still lacks its line end
    bool closed = false;       // the closing line was written
    CHttpPostStatT stat;
};

CHttpClientT::CHttpClientT() : m_boundary(MakeBoundary()) {}

CHttpClientT::~CHttpClientT() = default;

std::string CHttpClientT::ContentTypeHeader() const {
    return "multipart/form-data; boundary=" + m_boundary;
}

void CHttpClientT::AddParam(const std::string& name, const std::string& value, bool isFile) {
    if (m_context) {
        throw CHttpClientExceptionT(
            CHttpClientExceptionT::kPostContextActive,
            "CHttpClientT::AddParam: It is not allowed to call this method if the POST context is active.");
    }
    try {
        m_params.push_back(Param{name, value, isFile});
    } catch (const std::bad_alloc&) {
        ThrowMemory();
    }
}

std::string CHttpClientT::OpeningLines(const Param& param, const std::string& mimeType) const {
    std::string lines = "--" + m_boundary + kLineEnd;
    lines += "Content-Disposition: form-data; name=\"" + param.name + "\"";
    if (param.isFile) {
        // The file name is the value as given: the whole path.
        lines += "; filename=\"" + param.value + "\"";
        lines += kLineEnd;
        lines += "Content-Type: " + mimeType;
    }
    lines += kLineEnd;
    lines += kLineEnd;
    return lines;
}

void CHttpClientT::StartUpload(const std::string& url) {
    if (m_context) {
        throw CHttpClientExceptionT(CHttpClientExceptionT::kOutOfOrder,
                                    "CHttpClientT::StartUpload: It is not allowed to call this method if the "
                                    "POST context is active.");
    }
    if (!IsPlainHttpAddress(url)) {
        throw CHttpClientExceptionT(CHttpClientExceptionT::kInvalidUrl,
                                    "The address " + url + " cannot be used.");
    }
    try {
        auto context = std::make_unique<UploadContext>();
        std::uint64_t total = 0;
        for (const Param& param : m_params) {
            if (!param.isFile) {
                context->files.emplace_back();
                context->sizes.push_back(0);
                context->mimeTypes.emplace_back();
                total += OpeningLines(param, {}).size() + param.value.size() + 2;
                continue;
            }
            if (param.value.find('\0') != std::string::npos) {
                throw CHttpClientExceptionT(CHttpClientExceptionT::kFileOpen, "The file name is not valid.",
                                            EINVAL);
            }
            // Never blocks: a FIFO at the path is refused, not waited on. A
            // link at the path is refused too: what is sent is the file the
            // caller checked, not whatever a link planted since points to.
            os::UniqueFd file = os::OpenRegularFile(param.value, O_NOFOLLOW);
            if (!file) {
                const int error = errno;
                throw CHttpClientExceptionT(CHttpClientExceptionT::kFileOpen,
                                            error == EISDIR || error == EINVAL
                                                ? param.value + " is not a regular file."
                                                : "Opening " + param.value + " failed.",
                                            error);
            }
            struct stat info {};
            if (::fstat(file.Get(), &info) != 0) {
                throw CHttpClientExceptionT(CHttpClientExceptionT::kFileOpen,
                                            "Opening " + param.value + " failed.", errno);
            }
            const auto size = static_cast<std::uint64_t>(info.st_size);
            char head[kSniffBytes];
            const std::size_t headSize = static_cast<std::size_t>(std::min<std::uint64_t>(size, kSniffBytes));
            ReadExactly(file.Get(), head, headSize, 0, param.value);
            std::string mimeType = SniffMimeType(head, headSize);
            total += OpeningLines(param, mimeType).size() + size + 2;
            context->files.push_back(std::move(file));
            context->sizes.push_back(size);
            context->mimeTypes.push_back(std::move(mimeType));
        }
        if (m_params.empty()) {
            total += 2;
        }
        total += 2 + m_boundary.size() + 2 + 2;
        context->stat.totalBytes = total;
        context->stat.totalCount = m_params.size();
        context->transfer = UploadTransfer::Start(url, ContentTypeHeader(), total, m_limits);
        m_context = std::move(context);
    } catch (const std::bad_alloc&) {
        ThrowMemory();
    }
}

std::unique_ptr<CHttpResponseT> CHttpClientT::SendNextChunk(std::size_t maxBytes) {
    if (!m_context) {
        throw CHttpClientExceptionT(CHttpClientExceptionT::kOutOfOrder,
                                    "CHttpClientT::SendNextChunk: No upload has been started.");
    }
    if (maxBytes == 0) {
        throw CHttpClientExceptionT(CHttpClientExceptionT::kInvalidArgument,
                                    "CHttpClientT::SendNextChunk: A step must allow at least one byte.");
    }
    try {
        return NextChunk(maxBytes);
    } catch (const std::bad_alloc&) {
        ThrowMemory();
    }
}

std::unique_ptr<CHttpResponseT> CHttpClientT::NextChunk(std::size_t maxBytes) {
    UploadContext& context = *m_context;
    CHttpPostStatT& stat = context.stat;
    if (context.closed) {
        // Every body byte is out: end the request and hand over the reply.
        context.transfer->FinishRequest();
        auto response = std::make_unique<CHttpResponseT>(context.transfer);
        m_context.reset();
        return response;
    }
    std::string piece;
    const std::size_t index = context.paramIndex;
    if (context.inFile) {
        const std::uint64_t left = context.sizes[index] - context.fileOffset;
        const auto size = static_cast<std::size_t>(std::min<std::uint64_t>(left, maxBytes));
        piece.resize(size);
        ReadExactly(context.files[index].Get(), piece.data(), size, context.fileOffset,
                    m_params[index].value);
        context.fileOffset += size;
        stat.currentFilePostedBytes = context.fileOffset;
        if (context.fileOffset == context.sizes[index]) {
            context.inFile = false;
            context.lineEndOwed = true;
            context.files[index].Reset();
            ++context.paramIndex;
            ++stat.postedCount;
        }
    } else {
        if (context.lineEndOwed) {
            piece = kLineEnd;
            context.lineEndOwed = false;
        }
        if (index == m_params.size()) {
            if (m_params.empty()) {
                piece = kLineEnd;
            }
            piece += "--" + m_boundary + "--" + kLineEnd;
            context.closed = true;
        } else {
            const Param& param = m_params[index];
            stat.currentName = param.name;
            stat.currentFile = param.isFile ? param.value : std::string();
            stat.currentFileTotalBytes = context.sizes[index];
            stat.currentFilePostedBytes = 0;
            piece += OpeningLines(param, context.mimeTypes[index]);
            if (param.isFile && context.sizes[index] > 0) {
                context.inFile = true;
                context.fileOffset = 0;
            } else {
                if (param.isFile) {
                    context.lineEndOwed = true;
                } else {
                    piece += param.value + kLineEnd;
                }
                context.files[index].Reset();
                ++context.paramIndex;
                ++stat.postedCount;
            }
        }
    }
    context.transfer->Write(piece);
    stat.postedBytes += piece.size();
    return nullptr;
}

void CHttpClientT::GetUploadProgress(CHttpPostStatT& stat) const {
    if (!m_context) {
        throw CHttpClientExceptionT(CHttpClientExceptionT::kOutOfOrder,
                                    "CHttpClientT::GetUploadProgress: No upload has been started.");
    }
    try {
        stat = m_context->stat;
    } catch (const std::bad_alloc&) {
        ThrowMemory();
    }
}

void CHttpClientT::AbortUpload() noexcept {
    m_context.reset();
}
