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
    // target; E_FAIL otherwise. A partly written side file stays on disk.
    HRESULT Fetch(const std::string& url, const std::string& targetPath, DWORD creationDisposition);

    IDownLoadCallBack* Observer() const { return m_observer; }
    DWORD UserData() const { return m_userData; }

    // How long the server may keep the fetch waiting before it gives up:
    // setting up the connection may take this long, and so may any silence
    // once connected (before or within the reply). 30 seconds unless set;
    // millisecond resolution.
    void SetStallLimit(std::chrono::milliseconds limit) { m_stallLimit = limit; }

    // An event that ends the fetch as soon as it is set, even while the
    // server is silent: a failed fetch (E_FAIL, OnStatus with 500). Null for
    // none; it must outlive the fetch.
    void SetStopEvent(const os::Event* stop) { m_stop = stop; }

  private:
    IDownLoadCallBack* m_observer;
    DWORD m_userData;
    std::chrono::milliseconds m_stallLimit{30000};
    const os::Event* m_stop = nullptr;
};
