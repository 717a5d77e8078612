#include "net/CurlEasy.h"

#include <algorithm>
#include <memory>

#include "net/CurlGlobal.h"
#include "net/TlsTrust.h"
#include "platform/os/Event.h"

namespace net {

namespace {

struct MultiCleanup {
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};

// Every byte the transfer has moved so far, either way.
curl_off_t MovedBytes(CURL* handle) {
    curl_off_t down = 0;
    curl_off_t up = 0;
    long headers = 0;
    long request = 0;
    curl_easy_getinfo(handle, CURLINFO_SIZE_DOWNLOAD_T, &down);
    curl_easy_getinfo(handle, CURLINFO_SIZE_UPLOAD_T, &up);
    curl_easy_getinfo(handle, CURLINFO_HEADER_SIZE, &headers);
    curl_easy_getinfo(handle, CURLINFO_REQUEST_SIZE, &request);
    return down + up + headers + request;
}

bool Connected(CURL* handle) {
    curl_off_t connectTime = 0;
    return curl_easy_getinfo(handle, CURLINFO_CONNECT_TIME_T, &connectTime) == CURLE_OK && connectTime > 0;
}

CURLcode FromMulti(CURLMcode code) {
    return code == CURLM_OUT_OF_MEMORY ? CURLE_OUT_OF_MEMORY : CURLE_FAILED_INIT;
}

}  // namespace

bool ApplyCommonOptions(CURL* handle, const TransferLimits& limits) {
    bool ok = ApplyTlsTrust(handle);
    ok = curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L) == CURLE_OK && ok;
    ok = curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limits.connect.count())) ==
             CURLE_OK &&
         ok;
    ok =
        curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, static_cast<long>(limits.overall.count())) == CURLE_OK &&
        ok;
    return ok;
}

CurlEasy::CurlEasy(const TransferLimits& limits) : m_limits(limits) {
    if (CurlGlobalInit() != CURLE_OK) {
        return;
    }
    m_handle = curl_easy_init();
    if (m_handle != nullptr && !ApplyCommonOptions(m_handle, limits)) {
        curl_easy_cleanup(m_handle);
        m_handle = nullptr;
    }
}

CurlEasy::~CurlEasy() {
    if (m_handle != nullptr) {
        curl_easy_cleanup(m_handle);
    }
}

// libcurl's own blocking run (curl_easy_perform) looks at a quiet transfer
// only about once a second, and its low-speed check counts whole seconds; a
// multi handle of our own lets the stall limit end the transfer on time.
CURLcode CurlEasy::Perform() {
    if (m_handle == nullptr) {
        return CURLE_FAILED_INIT;
    }
    const std::unique_ptr<CURLM, MultiCleanup> multi(curl_multi_init());
    if (!multi) {
        return CURLE_OUT_OF_MEMORY;
    }
    if (const CURLMcode added = curl_multi_add_handle(multi.get(), m_handle); added != CURLM_OK) {
        return FromMulti(added);
    }
    StallWatch watch(m_limits.stall);
    // The stop event's descriptor wakes the wait below the moment it is set.
    curl_waitfd stopWait{};
    if (m_stop != nullptr && m_stop->PollDescriptor() >= 0) {
        stopWait.fd = m_stop->PollDescriptor();
        stopWait.events = CURL_WAIT_POLLIN;
    }
    const unsigned stopWaits = stopWait.events != 0 ? 1 : 0;
    CURLcode result = CURLE_OK;
    for (;;) {
        if (m_stop != nullptr && m_stop->IsSet()) {
            result = CURLE_ABORTED_BY_CALLBACK;
            break;
        }
        int running = 0;
        if (const CURLMcode performed = curl_multi_perform(multi.get(), &running); performed != CURLM_OK) {
            result = FromMulti(performed);
            break;
        }
        bool done = false;
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(multi.get(), &queued)) {
            if (message->msg == CURLMSG_DONE && message->easy_handle == m_handle) {
                done = true;
                result = message->data.result;
            }
        }
        if (done) {
            break;
        }
        if (watch.Stalled(m_handle)) {
            result = CURLE_OPERATION_TIMEDOUT;
            break;
        }
        if (const CURLMcode polled = curl_multi_poll(multi.get(), stopWaits != 0 ? &stopWait : nullptr,
                                                     stopWaits, watch.WaitMilliseconds(), nullptr);
            polled != CURLM_OK) {
            result = FromMulti(polled);
            break;
        }
    }
    curl_multi_remove_handle(multi.get(), m_handle);
    return result;
}

CurlHeaderList::~CurlHeaderList() {
    curl_slist_free_all(m_head);
}

bool CurlHeaderList::Append(const char* line) {
    // curl_slist_append returns the list's head, or null (leaving the list as
    // it was) when it cannot grow it.
    curl_slist* grown = curl_slist_append(m_head, line);
    if (grown == nullptr) {
        return false;
    }
    m_head = grown;
    return true;
}

StallWatch::StallWatch(std::chrono::milliseconds limit)
    : m_limit(limit), m_lastMove(std::chrono::steady_clock::now()) {}

bool StallWatch::Stalled(CURL* handle) {
    const auto now = std::chrono::steady_clock::now();
    const curl_off_t moved = MovedBytes(handle);
    if (moved != m_moved || !Connected(handle)) {
        m_moved = moved;
        m_lastMove = now;
        return false;
    }
    return m_limit.count() > 0 && now - m_lastMove >= m_limit;
}

int StallWatch::WaitMilliseconds(int most) const {
    if (m_limit.count() <= 0) {
        return most;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(m_lastMove + m_limit -
                                                                            std::chrono::steady_clock::now());
    return static_cast<int>(std::clamp<long long>(left.count() + 1, 1, most));
}

}  // namespace net
