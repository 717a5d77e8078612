#pragma once
// The upload client: an HTTP POST in the multipart/form-data format, written
// to the connection in small steps so that the caller can watch the progress.
// The usage reporter sends the crash file with it.
//
// Every failure raises CHttpClientExceptionT; the caller then calls
// AbortUpload and treats the upload as failed. Nothing is retried.
//
// Text (names, values, paths, the address) is UTF-8, which is also the local
// code page the body's names and file names are written in.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "net/CurlEasy.h"
#include "stats/HttpPostStatT.h"
#include "stats/HttpResponseT.h"

class CHttpClientT {
  public:
    // The limits of an upload unless set otherwise: WinInet's default
    // time-outs. Connecting may take kConnectLimit; a server that takes or
    // gives nothing for kStallLimit while a step runs ends the upload. The
    // whole upload, from StartUpload to the end of the reply, may take
    // kOverallLimit, so that a server taking or giving a byte now and then
    // cannot hold the caller (the update worker) for ever: ten minutes carry
    // the largest crash file (2 MiB) over an uplink of 4 KB/s.
    static constexpr std::chrono::milliseconds kConnectLimit{30000};
    static constexpr std::chrono::milliseconds kStallLimit{30000};
    static constexpr std::chrono::milliseconds kOverallLimit{600000};

    // Makes this client's boundary from a fresh GUID.
    CHttpClientT();
    ~CHttpClientT();
    CHttpClientT(const CHttpClientT&) = delete;
    CHttpClientT& operator=(const CHttpClientT&) = delete;

    // "----QBRAX-" + the GUID in lower-case hexadecimal + "-": 43 characters.
    const std::string& Boundary() const { return m_boundary; }
    // "multipart/form-data; boundary=" + Boundary().
    std::string ContentTypeHeader() const;

    // Adds an argument; with `isFile` the value is the path of a file whose
    // contents are sent. Raises while an upload runs.
    void AddParam(const std::string& name, const std::string& value, bool isFile = false);

    // Opens every file argument (its size and MIME type are taken now),
    // computes the exact length of the body, connects to `url`
    // ("http://host[:port]/path?query") and sends the request headers.
    void StartUpload(const std::string& url);

    // Writes the next part of the body: the lines that open an argument (a
    // text argument with its value), or at most `maxBytes` of the current
    // file, or the closing line. Returns null while body bytes remain; the
    // call after the last byte ends the request and returns the reply, and
    // the upload is over (arguments may be added again).
    std::unique_ptr<CHttpResponseT> SendNextChunk(std::size_t maxBytes);

    // Copies the progress counters of the running upload.
    void GetUploadProgress(CHttpPostStatT& stat) const;

    // Closes the request, the connection and the open files. Harmless when no
    // upload runs.
    void AbortUpload() noexcept;

    bool IsUploading() const { return m_context != nullptr; }

    // The limits of the following uploads (millisecond resolution).
    void SetConnectLimit(std::chrono::milliseconds limit) { m_limits.connect = limit; }
    void SetStallLimit(std::chrono::milliseconds limit) { m_limits.stall = limit; }
    // Zero for no overall limit. Time counts from StartUpload, also between
    // the caller's steps; the step that finds it spent raises kTimeout.
    void SetOverallLimit(std::chrono::milliseconds limit) { m_limits.overall = limit; }
    // The longest reply read (16 MiB unless set).
    void SetReplyCap(std::size_t bytes) { m_limits.reply = bytes; }
    const net::TransferLimits& Limits() const { return m_limits; }

  private:
    struct Param {
        std::string name;
        std::string value;
        bool isFile = false;
    };
    struct UploadContext;

    std::string OpeningLines(const Param& param, const std::string& mimeType) const;
    std::unique_ptr<CHttpResponseT> NextChunk(std::size_t maxBytes);

    std::string m_boundary;
    std::vector<Param> m_params;
    std::unique_ptr<UploadContext> m_context;
    net::TransferLimits m_limits{kConnectLimit, kStallLimit, kOverallLimit};
};
