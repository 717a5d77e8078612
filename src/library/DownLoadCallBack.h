#pragma once
// The observer of a plain file fetch. The toolbox implements it to show an
// installer's download progress; every call arrives on the fetching thread.

#include <cstdint>
#include <string>

#include "platform/os/WinTypes.h"

class IDownLoadCallBack {
  public:
    // The HTTP status code of the response, or 500 once the fetch has failed.
    virtual void OnStatus(int code, DWORD userData) = 0;
    // The request path of the address and the length the server announced.
    virtual void OnStart(const std::string& path, std::uint64_t length, DWORD userData) = 0;
    // After each step of at most 8192 bytes. `failed` is 1 when the last read or
    // write failed, `reserved` is always 0, `received` counts the bytes written
    // so far. Returning 1 stops the download.
    virtual int OnProgress(int failed, int reserved, std::uint64_t received, std::uint64_t total,
                           DWORD userData) = 0;
    // Every announced byte has been written.
    virtual void OnComplete(DWORD userData) = 0;

  protected:
    // Observers are never deleted through this interface; keeping the
    // destructor out of the table leaves the four operations in their order.
    ~IDownLoadCallBack() = default;
};
