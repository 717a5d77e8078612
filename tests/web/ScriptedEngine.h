#pragma once
// The scripted engine as the tests use it: installed as node.so in the
// sandbox's program folder, and reached through its test-only exports in the
// very module the client's loader opens (the same path is the same module).

#include "platform/duilib/UIWkeWebkit.h"
#include "platform/wke/scripted/wke_scripted.h"

#include <string>
#include <vector>

namespace webtest {

enum class EngineBuild { Complete, WithoutInitialize, WithoutZoom, WithoutDestroy };

class ScriptedEngine {
  public:
    // Copies the build into `programFolder` as node.so.
    ScriptedEngine(const std::string& programFolder, EngineBuild build = EngineBuild::Complete);

    // The module's test-only export `name`; aborts the test when missing.
    template <typename Fn>
    Fn Export(const char* name) const {
        return reinterpret_cast<Fn>(Symbol(name));
    }

    void SetInitializeAnswer(bool usable) const;
    int InitializeCount() const;
    int ViewCount() const;
    wkeWebView View(int index) const;
    bool IsLive(wkeWebView view) const;
    // The calls made on the view, one entry a call.
    std::vector<std::string> Calls(wkeWebView view) const;
    // The calls without the eight registrations every view gets.
    std::vector<std::string> Requests(wkeWebView view) const;
    void* NativeWidget(wkeWebView view) const;

    void TitleChanged(wkeWebView view, const char* title) const;
    void URLChanged(wkeWebView view, const char* url) const;
    void AlertBox(wkeWebView view, const char* msg) const;
    bool Navigation(wkeWebView view, wkeNavigationType type, const char* url) const;
    wkeWebView CreateView(wkeWebView view, const wkeNewViewInfo* info) const;
    void DocumentReady(wkeWebView view) const;
    void LoadStarted(wkeWebView view, const char* url) const;
    void LoadingFinish(wkeWebView view, const char* url, wkeLoadingResult result,
                       const char* reason = "") const;
    // The page's answer; empty for none.
    std::string PageMessage(wkeWebView view, const char* pageUrl, const char* message) const;

  private:
    void* Symbol(const char* name) const;
    void* m_module = nullptr;
};

}  // namespace webtest
