#pragma once
// The small blocking file fetcher used for the self-update's installer and the
// toolbox's archives and installers. It downloads into a side file (the target
// path followed by ".upd") and moves that over the target only when every
// byte the server announced has arrived; an optional observer hears the
// status, the start, each step and the completion.
//
// One object per download, on the caller's stack. Fetch blocks its thread; the
// observer is called on that thread and must outlive the call.

#include <chrono>
#include <cstdint>
#include <string>

#include "library/DownLoadCallBack.h"
#include "platform/os/WinTypes.h"

namespace os {
class Event;
}

// File creation dispositions of CreateFileW.
constexpr DWORD CREATE_NEW = 1;
constexpr DWORD CREATE_ALWAYS = 2;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD OPEN_ALWAYS = 4;
constexpr DWORD TRUNCATE_EXISTING = 5;

class CFileFetch {
  public:
    // Largest piece read and written between two progress calls.
    static constexpr std::size_t kStepSize = 8192;

    explicit CFileFetch(IDownLoadCallBack* observer = nullptr, DWORD userData = 0)
        : m_observer(observer), m_userData(userData) {}

    // Downloads `url` ("http://" or "https://") into `targetPath`. The side file
    // is opened with `creationDisposition` (CREATE_ALWAYS in both callers).
    // S_OK when the whole announced body arrived and the side file replaced the
    // target; E_FAIL otherwise. A partly written side file stays on disk,
    // except after a body longer than announced (see SetSizeCap).
    HRESULT Fetch(const std::string& url, const std::string& targetPath, DWORD creationDisposition);

    IDownLoadCallBack* Observer() const { return m_observer; }
    DWORD UserData() const { return m_userData; }

    // The limits a fetch starts with. Connecting, and any silence once
    // connected, may last kStallLimit. The whole fetch may last
    // kOverallLimit, so that a server sending a byte now and then cannot
    // hold the worker for ever; four hours still bring an installer of 300 MB
    // over a line of 25 KB/s (about 200 kbit/s). The server may announce at
    // most kSizeCap bytes, so that a wrong or hostile length cannot fill the
    // disk; 1 GiB is several times the size of any installer the services
    // offer. A caller that knows its file is smaller sets a smaller cap (the
    // toolbox's archive).
    static constexpr std::chrono::milliseconds kStallLimit{30000};
    static constexpr std::chrono::milliseconds kOverallLimit{std::chrono::hours(4)};
    static constexpr std::uint64_t kSizeCap = std::uint64_t{1} << 30;

    // How long the server may keep the fetch waiting before it gives up:
    // setting up the connection may take this long, and so may any silence
    // once connected (before or within the reply). Millisecond resolution.
    void SetStallLimit(std::chrono::milliseconds limit) { m_stallLimit = limit; }
    std::chrono::milliseconds StallLimit() const { return m_stallLimit; }

    // How long the whole fetch may last, from the connection to the last
    // byte, however steadily the bytes come; zero for no limit. A fetch that
    // reaches it fails like one cut short: the side file keeps what arrived.
    void SetOverallLimit(std::chrono::milliseconds limit) { m_overallLimit = limit; }
    std::chrono::milliseconds OverallLimit() const { return m_overallLimit; }

    // The most bytes the fetch accepts. A reply that announces more fails
    // after its status, before any side file is made; a body that grows past
    // what was announced fails too, and its side file is removed, since its
    // bytes are not the file the server named.
    void SetSizeCap(std::uint64_t bytes) { m_sizeCap = bytes; }
    std::uint64_t SizeCap() const { return m_sizeCap; }

    // An event that ends the fetch as soon as it is set, even while the
    // server is silent: a failed fetch (E_FAIL, OnStatus with 500). Null for
    // none; it must outlive the fetch.
    void SetStopEvent(const os::Event* stop) { m_stop = stop; }

  private:
    IDownLoadCallBack* m_observer;
    DWORD m_userData;
    std::chrono::milliseconds m_stallLimit = kStallLimit;
    std::chrono::milliseconds m_overallLimit = kOverallLimit;
    std::uint64_t m_sizeCap = kSizeCap;
    const os::Event* m_stop = nullptr;
};
