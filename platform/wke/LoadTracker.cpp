#include "platform/wke/LoadTracker.h"

std::optional<LoadFinish> LoadTracker::CancelPending(const char* reason) {
    if (!m_inLoad || m_reported)
        return std::nullopt;
    m_reported = true;
    return LoadFinish{m_url, WKE_LOADING_CANCELED, reason};
}

std::optional<LoadFinish> LoadTracker::ClientRequested(const std::string& url) {
    std::optional<LoadFinish> cancelled = CancelPending("replaced by another navigation");
    m_inLoad = true;
    m_clientRequest = true;
    m_reported = false;
    m_url = url;
    return cancelled;
}

std::optional<LoadFinish> LoadTracker::Refused(const std::string& url) {
    if (!m_clientRequest || m_reported)
        return std::nullopt;
    // The engine never starts it, so no other event would end it.
    m_clientRequest = false;
    m_inLoad = false;
    m_reported = true;
    return LoadFinish{url, WKE_LOADING_CANCELED, "refused by the client"};
}

std::optional<LoadFinish> LoadTracker::Started(const std::string& url) {
    // The engine drops a load that another navigation replaces without a
    // word; for the client it ended, cancelled.
    std::optional<LoadFinish> cancelled;
    if (!m_clientRequest)
        cancelled = CancelPending("replaced by another navigation");
    m_clientRequest = false;
    m_inLoad = true;
    m_reported = false;
    m_url = url;
    return cancelled;
}

LoadFinish LoadTracker::Failed(const std::string& url, Failure failure, const std::string& reason) {
    m_reported = true;
    return LoadFinish{url, failure == Failure::Cancelled ? WKE_LOADING_CANCELED : WKE_LOADING_FAILED, reason};
}

void LoadTracker::RetryingAfterCheck() {
    m_silentFinish = true;
    m_reported = true;
}

std::optional<LoadFinish> LoadTracker::Finished(const std::string& url) {
    m_inLoad = false;
    if (m_silentFinish) {
        m_silentFinish = false;
        return std::nullopt;
    }
    std::optional<LoadFinish> finish;
    if (!m_reported)
        finish = LoadFinish{url, WKE_LOADING_SUCCEEDED, ""};
    m_reported = false;
    return finish;
}
