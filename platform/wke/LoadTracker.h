#pragma once
// The load state of one engine view, behind two rules every engine module
// keeps: a load that another navigation or the navigation policy cut short
// finishes cancelled, never failed (the client shows its disconnect page for
// a failure, and a quick tab change must not look like a lost connection);
// and a load the client hears of finishes once.
//
// Plain state, no engine types: a module feeds in the engine's load events
// and tells the client of each finish an event answers. Not locked; the
// module calls it on the thread (or under the lock) that owns the view.

#include "platform/wke/wke.h"

#include <optional>
#include <string>

// A finish to tell the client of. `reason` is empty for a success.
struct LoadFinish {
    std::string url;
    wkeLoadingResult result = WKE_LOADING_SUCCEEDED;
    std::string reason;

    bool operator==(const LoadFinish&) const = default;
};

class LoadTracker {
  public:
    // How the engine gave a load up.
    enum class Failure {
        Cancelled,  // replaced by another navigation, or stopped by the policy
        Failed,     // anything else: the network, the server, its certificate
    };

    // The client asked for `url` (wkeLoadURL): a load still under way ends,
    // cancelled.
    std::optional<LoadFinish> ClientRequested(const std::string& url);

    // The client's navigation callback refused `url`. The client's own
    // request that had not started yet ends with it, cancelled; the engine
    // says nothing more about it.
    std::optional<LoadFinish> Refused(const std::string& url);

    // The engine started loading `url`. The start of the client's own request
    // is that request; any other start (a link, a script, back or forward)
    // replaces a load still under way, which ends cancelled.
    std::optional<LoadFinish> Started(const std::string& url);

    // The engine gave the load of `url` up; told at once.
    LoadFinish Failed(const std::string& url, Failure failure, const std::string& reason);

    // The load is retried after a check of the engine's own (a certificate
    // the store's CA vouches for): its end is not the client's news, the
    // retry's is.
    void RetryingAfterCheck();

    // The engine is done with the load (after a success or a failure): a
    // success unless its end was told already.
    std::optional<LoadFinish> Finished(const std::string& url);

  private:
    // The load under way has ended for the client: cancelled.
    std::optional<LoadFinish> CancelPending(const char* reason);

    bool m_inLoad = false;         // a load was asked for or started, and has not finished
    bool m_clientRequest = false;  // ... asked for by the client, not started yet
    bool m_reported = false;       // its end was told already
    bool m_silentFinish = false;   // the next end belongs to a load retried after a check
    std::string m_url;             // the address of the load under way
};
