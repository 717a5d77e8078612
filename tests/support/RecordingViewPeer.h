#pragma once
// A web view's engine peer for tests: it stands in for the engine's view and
// records every call the control makes on it ("navigate <url>", "back",
// "forward", "reload"), in order. The control owns the peer; the record is
// shared, so the test still reads it after the control is gone.

#include "platform/duilib/UIWkeWebkit.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace vtest {

class RecordingViewPeer : public DuiLib::IWkeViewPeer {
  public:
    using Calls = std::vector<std::string>;

    // `view`: what GetWebView answers, a handle that names no real view.
    explicit RecordingViewPeer(std::shared_ptr<Calls> calls,
                               wkeWebView view = reinterpret_cast<wkeWebView>(0x1234))
        : m_calls(std::move(calls)), m_view(view) {}

    void Navigate(const std::string& url) override { m_calls->push_back("navigate " + url); }
    void Back() override { m_calls->push_back("back"); }
    void Forward() override { m_calls->push_back("forward"); }
    void Reload() override { m_calls->push_back("reload"); }
    wkeWebView GetWebView() const override { return m_view; }

  private:
    std::shared_ptr<Calls> m_calls;
    wkeWebView m_view;
};

}  // namespace vtest
