#pragma once
// One multipart POST over libcurl's multi interface, driven by its caller:
// the request body is handed over piece by piece, each piece taken by the
// connection before the call returns, and the reply is read on demand. The
// upload client and its reply share one transfer; whichever lets go last
// closes it.

#include <curl/curl.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "net/CurlEasy.h"
#include "stats/HttpReplyHead.h"

class UploadTransfer {
  public:
    // Opens the connection and sends the request line and headers: POST to
    // `url` with `contentType` and a body of exactly `length` bytes. Returns
    // once the connection asks for the first body bytes. Raises
    // CHttpClientExceptionT on failure. `limits`: the connect limit, the
    // stall limit, which counts while a call of the caller drives the
    // transfer, and the overall limit, which counts from now.
    static std::shared_ptr<UploadTransfer> Start(const std::string& url, const std::string& contentType,
                                                 std::uint64_t length, const net::TransferLimits& limits);

    ~UploadTransfer();
    UploadTransfer(const UploadTransfer&) = delete;
    UploadTransfer& operator=(const UploadTransfer&) = delete;

    // Hands `piece` to the connection; returns when every byte was taken.
    // Raises when the body would exceed the announced length or the
    // connection ends or stalls.
    void Write(std::string_view piece);

    // After the last body byte: waits for the reply's status and headers.
    void FinishRequest();

    const HttpReplyHead& Head() const { return m_head; }

    // Up to `size` body bytes; fewer only when the body ended. Raises when
    // the server stays silent too long or the overall limit cut the reply,
    // and when the reply grows beyond the limits' reply cap (nothing of it
    // is read into memory beyond that).
    std::size_t ReadBody(char* buffer, std::size_t size);

  private:
    explicit UploadTransfer(const net::TransferLimits& limits);

    static size_t OnRead(char* buffer, size_t size, size_t count, void* context);
    static size_t OnHeader(char* data, size_t size, size_t count, void* context);
    static size_t OnBody(char* data, size_t size, size_t count, void* context);

    // Runs the transfer until `done` holds or the transfer ends. Raises on a
    // failure of the multi interface or when nothing moves for too long.
    template <typename Done>
    void DriveUntil(Done done);
    void Resume();

    // The destructor takes the easy handle out of the multi handle and cleans
    // the multi handle up; members then go in reverse order: the easy handle
    // before the header list it points to.
    net::CurlHeaderList m_headers;
    net::CurlEasy m_easy;
    CURLM* m_multi = nullptr;
    bool m_added = false;

    std::uint64_t m_length = 0;   // announced body length
    std::uint64_t m_written = 0;  // body bytes handed over by the caller
    std::string m_piece;          // the piece being taken
    std::size_t m_piecePos = 0;
    bool m_paused = false;  // the connection asked for bytes we did not have yet
    bool m_asked = false;   // the connection asked for body bytes at least once

    HttpReplyHead m_head;
    std::string m_body;
    std::size_t m_bodyPos = 0;

    std::size_t m_received = 0;  // reply body bytes, read or not
    bool m_overCap = false;
    bool m_finished = false;
    CURLcode m_result = CURLE_OK;
};
