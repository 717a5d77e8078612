#pragma once
// The error object of the upload client. Every failure of an upload step is
// raised as one of these; the caller aborts the upload and reports failure.

#include <cstdint>
#include <stdexcept>
#include <string>

class CHttpClientExceptionT : public std::runtime_error {
  public:
    // The client's own error codes.
    enum Code : std::uint32_t {
        kPostContextActive = 1,  // an argument added while an upload runs
        kOutOfOrder,             // an upload step called before StartUpload or after the reply
        kInvalidArgument,        // a step of 0 bytes
        kInvalidUrl,             // an address that is not plain http or cannot be split
        kFileOpen,               // a file argument that cannot be opened or is not a regular file
        kFileRead,               // a read that failed or gave fewer bytes than asked
        kMemory,                 // memory exhausted
        kHandle,                 // a transfer handle that could not be made
        kNetwork,                // the connection failed or ended before the reply
        kTimeout,                // the server stayed silent too long, or the upload outlasted its limit
        kReplyTooLarge,          // a reply longer than the client reads into memory
    };

    // `osError` is the system's error number for failed system calls, else 0.
    CHttpClientExceptionT(Code code, const std::string& message, int osError = 0);

    Code ErrorCode() const { return m_code; }
    int OsError() const { return m_osError; }

  private:
    Code m_code;
    int m_osError;
};
