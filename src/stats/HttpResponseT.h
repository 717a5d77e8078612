#pragma once
// The reply to an upload: status, headers, and the body read on demand from
// the request that is still open.

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/os/WinTypes.h"

class UploadTransfer;

class CHttpResponseT {
  public:
    // Made by the upload client when the reply's headers have arrived.
    explicit CHttpResponseT(std::shared_ptr<UploadTransfer> transfer);
    ~CHttpResponseT();
    CHttpResponseT(const CHttpResponseT&) = delete;
    CHttpResponseT& operator=(const CHttpResponseT&) = delete;

    DWORD GetStatus() const;

    // The value of the index-th header named `name` (any letter case), or
    // none when the reply has fewer.
    std::optional<std::string> GetHeader(std::string_view name, std::size_t index = 0) const;

    // Reads up to `size` body bytes into `buffer` and returns how many were
    // read; fewer only at the end of the body. Raises CHttpClientExceptionT
    // when the server stays silent too long or the upload's time limit cuts
    // the reply (kTimeout), or when the reply is longer than the client's
    // reply cap, 16 MiB unless set (kReplyTooLarge).
    std::size_t ReadContent(char* buffer, std::size_t size);

  private:
    std::shared_ptr<UploadTransfer> m_transfer;
};
