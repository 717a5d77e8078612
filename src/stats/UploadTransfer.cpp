#include "stats/UploadTransfer.h"

#include <algorithm>
#include <cstring>

#include "stats/HttpClientExceptionT.h"

namespace {

// The longest wait for the connection between two looks at the transfer.
constexpr int kPollMilliseconds = 100;

}  // namespace

std::shared_ptr<UploadTransfer> UploadTransfer::Start(const std::string& url, const std::string& contentType,
                                                      std::uint64_t length,
                                                      const net::TransferLimits& limits) {
    // The stall limit is watched while the caller drives the transfer; the
    // overall limit (libcurl's own) counts from here, between the caller's
    // steps too.
    std::shared_ptr<UploadTransfer> transfer(new UploadTransfer(limits));
    transfer->m_length = length;
    transfer->m_multi = curl_multi_init();
    if (transfer->m_multi == nullptr || !transfer->m_easy) {
        throw CHttpClientExceptionT(CHttpClientExceptionT::kHandle,
                                    "The transfer handles could not be made.");
    }
    // A fresh reply from the origin server, nothing kept in caches, and a
    // connection that stays open. libcurl's default Accept line and a
    // 100-continue handshake are not part of the exchange: the body follows
    // the headers directly, step by step.
    const std::string typeLine = "Content-Type: " + contentType;
    for (const char* line : {typeLine.c_str(), "Cache-Control: no-cache", "Pragma: no-cache",
                             "Connection: Keep-Alive", "Accept:", "Expect:"}) {
        if (!transfer->m_headers.Append(line)) {
            throw CHttpClientExceptionT(CHttpClientExceptionT::kMemory,
                                        "The request headers could not be built.");
        }
    }
    CURL* easy = transfer->m_easy.Get();
    UploadTransfer* self = transfer.get();
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http");
    curl_easy_setopt(easy, CURLOPT_POST, 1L);
    curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(length));
    curl_easy_setopt(easy, CURLOPT_READFUNCTION, OnRead);
    curl_easy_setopt(easy, CURLOPT_READDATA, self);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, OnHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, self);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, OnBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, self);
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, transfer->m_headers.Get());
    if (curl_multi_add_handle(transfer->m_multi, easy) != CURLM_OK) {
        throw CHttpClientExceptionT(CHttpClientExceptionT::kHandle, "The transfer could not be started.");
    }
    transfer->m_added = true;
    transfer->DriveUntil([self] { return self->m_asked; });
    return transfer;
}

UploadTransfer::UploadTransfer(const net::TransferLimits& limits) : m_easy(limits) {}

UploadTransfer::~UploadTransfer() {
    if (m_added) {
        curl_multi_remove_handle(m_multi, m_easy.Get());
    }
    if (m_multi != nullptr) {
        curl_multi_cleanup(m_multi);
    }
}

size_t UploadTransfer::OnRead(char* buffer, size_t size, size_t count, void* context) {
    auto* self = static_cast<UploadTransfer*>(context);
    self->m_asked = true;
    const size_t room = size * count;
    const size_t left = self->m_piece.size() - self->m_piecePos;
    if (left == 0) {
        // The caller has not handed over the next piece yet.
        self->m_paused = true;
        return CURL_READFUNC_PAUSE;
    }
    const size_t taken = std::min(room, left);
    std::memcpy(buffer, self->m_piece.data() + self->m_piecePos, taken);
    self->m_piecePos += taken;
    return taken;
}

size_t UploadTransfer::OnHeader(char* data, size_t size, size_t count, void* context) {
    auto* self = static_cast<UploadTransfer*>(context);
    const size_t bytes = size * count;
    self->m_head.AddLine(std::string_view(data, bytes));
    return bytes;
}

size_t UploadTransfer::OnBody(char* data, size_t size, size_t count, void* context) {
    auto* self = static_cast<UploadTransfer*>(context);
    const size_t bytes = size * count;
    if (bytes > self->m_easy.Limits().reply - self->m_received) {
        self->m_overCap = true;
        return 0;  // ends the transfer with a write error
    }
    try {
        self->m_body.append(data, bytes);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    self->m_received += bytes;
    return bytes;
}

template <typename Done>
void UploadTransfer::DriveUntil(Done done) {
    // Silence counts only while the caller drives the transfer.
    net::StallWatch watch(m_easy.Limits().stall);
    for (;;) {
        if (done()) {
            return;
        }
        if (m_finished && m_result == CURLE_OPERATION_TIMEDOUT) {
            throw CHttpClientExceptionT(CHttpClientExceptionT::kTimeout,
                                        "The upload took longer than its time limit.");
        }
        if (m_finished) {
            const std::string reason =
                m_result == CURLE_OK ? std::string("the server answered before the request was complete")
                                     : std::string(curl_easy_strerror(m_result));
            throw CHttpClientExceptionT(CHttpClientExceptionT::kNetwork, "The upload ended: " + reason + ".");
        }
        int running = 0;
        const CURLMcode performed = curl_multi_perform(m_multi, &running);
        if (performed != CURLM_OK) {
            throw CHttpClientExceptionT(CHttpClientExceptionT::kNetwork, curl_multi_strerror(performed));
        }
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(m_multi, &queued)) {
            if (message->msg == CURLMSG_DONE && message->easy_handle == m_easy.Get()) {
                m_finished = true;
                m_result = message->data.result;
            }
        }
        if (done() || m_finished) {
            continue;
        }
        if (watch.Stalled(m_easy.Get())) {
            throw CHttpClientExceptionT(CHttpClientExceptionT::kTimeout,
                                        "The server stayed silent too long.");
        }
        if (curl_multi_poll(m_multi, nullptr, 0, watch.WaitMilliseconds(kPollMilliseconds), nullptr) !=
            CURLM_OK) {
            throw CHttpClientExceptionT(CHttpClientExceptionT::kNetwork, "Waiting on the connection failed.");
        }
    }
}

void UploadTransfer::Resume() {
    if (m_paused) {
        m_paused = false;
        // May call OnRead at once, which may pause again.
        curl_easy_pause(m_easy.Get(), CURLPAUSE_CONT);
    }
}

void UploadTransfer::Write(std::string_view piece) {
    if (piece.empty()) {
        return;
    }
    if (piece.size() > m_length - m_written) {
        throw CHttpClientExceptionT(CHttpClientExceptionT::kOutOfOrder,
                                    "The body is longer than the announced content length.");
    }
    m_piece.assign(piece);
    m_piecePos = 0;
    m_written += piece.size();
    Resume();
    DriveUntil([this] { return m_piecePos == m_piece.size(); });
    m_piece.clear();
    m_piecePos = 0;
}

void UploadTransfer::FinishRequest() {
    if (m_written != m_length) {
        throw CHttpClientExceptionT(CHttpClientExceptionT::kOutOfOrder,
                                    "The body is shorter than the announced content length.");
    }
    DriveUntil([this] { return m_head.Complete(); });
}

std::size_t UploadTransfer::ReadBody(char* buffer, std::size_t size) {
    if (size == 0 || buffer == nullptr) {
        return 0;
    }
    DriveUntil([this, size] { return m_body.size() - m_bodyPos >= size || m_finished; });
    if (m_overCap) {
        throw CHttpClientExceptionT(
            CHttpClientExceptionT::kReplyTooLarge,
            "The reply is longer than " + std::to_string(m_easy.Limits().reply) + " bytes.");
    }
    if (m_result == CURLE_OPERATION_TIMEDOUT && m_body.size() - m_bodyPos < size) {
        // The time limit cut the reply: what is left is not its end.
        throw CHttpClientExceptionT(CHttpClientExceptionT::kTimeout,
                                    "The reply took longer than the upload's time limit.");
    }
    const std::size_t taken = std::min(size, m_body.size() - m_bodyPos);
    std::memcpy(buffer, m_body.data() + m_bodyPos, taken);
    m_bodyPos += taken;
    if (m_bodyPos == m_body.size()) {
        m_body.clear();
        m_bodyPos = 0;
    }
    return taken;
}
