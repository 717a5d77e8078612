#include "ScriptedEngine.h"

#include "platform/os/Paths.h"
#include "support/Sandbox.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

namespace webtest {

namespace {
const char* BuildFolder(EngineBuild build) {
    switch (build) {
        case EngineBuild::WithoutInitialize:
            return "scripted-noinit";
        case EngineBuild::WithoutZoom:
            return "scripted-nozoom";
        case EngineBuild::WithoutDestroy:
            return "scripted-nodestroy";
        case EngineBuild::Complete:
            break;
    }
    return "scripted";
}
}  // namespace

ScriptedEngine::ScriptedEngine(const std::string& programFolder, EngineBuild build) {
    const std::string source = std::string(VANTO_WKE_DIR) + "/" + BuildFolder(build) + "/node.so";
    const std::string target = os::PathJoin(programFolder, "node.so");
    vtest::WriteFile(target, vtest::ReadFile(source));
    m_module = dlopen(target.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (m_module == nullptr) {
        ADD_FAILURE() << "cannot open " << target << ": " << dlerror();
        std::abort();
    }
}

void* ScriptedEngine::Symbol(const char* name) const {
    void* symbol = dlsym(m_module, name);
    if (symbol == nullptr) {
        ADD_FAILURE() << "the scripted engine has no " << name;
        std::abort();
    }
    return symbol;
}

void ScriptedEngine::SetInitializeAnswer(bool usable) const {
    Export<decltype(&wkeScriptedSetInitializeAnswer)>("wkeScriptedSetInitializeAnswer")(usable);
}

int ScriptedEngine::InitializeCount() const {
    return Export<decltype(&wkeScriptedInitializeCount)>("wkeScriptedInitializeCount")();
}

int ScriptedEngine::ViewCount() const {
    return Export<decltype(&wkeScriptedViewCount)>("wkeScriptedViewCount")();
}

wkeWebView ScriptedEngine::View(int index) const {
    return Export<decltype(&wkeScriptedView)>("wkeScriptedView")(index);
}

bool ScriptedEngine::IsLive(wkeWebView view) const {
    return Export<decltype(&wkeScriptedIsLive)>("wkeScriptedIsLive")(view);
}

std::vector<std::string> ScriptedEngine::Calls(wkeWebView view) const {
    std::istringstream text(Export<decltype(&wkeScriptedCalls)>("wkeScriptedCalls")(view));
    std::vector<std::string> calls;
    for (std::string line; std::getline(text, line);)
        calls.push_back(line);
    return calls;
}

std::vector<std::string> ScriptedEngine::Requests(wkeWebView view) const {
    std::vector<std::string> requests;
    for (auto& call : Calls(view)) {
        if (call.rfind("on", 0) != 0)
            requests.push_back(call);
    }
    return requests;
}

void* ScriptedEngine::NativeWidget(wkeWebView view) const {
    return Export<decltype(&wkeGetNativeWidget)>("wkeGetNativeWidget")(view);
}

void ScriptedEngine::TitleChanged(wkeWebView view, const char* title) const {
    Export<decltype(&wkeScriptedTitleChanged)>("wkeScriptedTitleChanged")(view, title);
}

void ScriptedEngine::URLChanged(wkeWebView view, const char* url) const {
    Export<decltype(&wkeScriptedURLChanged)>("wkeScriptedURLChanged")(view, url);
}

void ScriptedEngine::AlertBox(wkeWebView view, const char* msg) const {
    Export<decltype(&wkeScriptedAlertBox)>("wkeScriptedAlertBox")(view, msg);
}

bool ScriptedEngine::Navigation(wkeWebView view, wkeNavigationType type, const char* url) const {
    return Export<decltype(&wkeScriptedNavigation)>("wkeScriptedNavigation")(view, type, url);
}

wkeWebView ScriptedEngine::CreateView(wkeWebView view, const wkeNewViewInfo* info) const {
    return Export<decltype(&wkeScriptedCreateView)>("wkeScriptedCreateView")(view, info);
}

void ScriptedEngine::DocumentReady(wkeWebView view) const {
    Export<decltype(&wkeScriptedDocumentReady)>("wkeScriptedDocumentReady")(view);
}

void ScriptedEngine::LoadStarted(wkeWebView view, const char* url) const {
    Export<decltype(&wkeScriptedLoadStarted)>("wkeScriptedLoadStarted")(view, url);
}

void ScriptedEngine::LoadingFinish(wkeWebView view, const char* url, wkeLoadingResult result,
                                   const char* reason) const {
    Export<decltype(&wkeScriptedLoadingFinish)>("wkeScriptedLoadingFinish")(view, url, result, reason);
}

std::string ScriptedEngine::PageMessage(wkeWebView view, const char* pageUrl, const char* message) const {
    const char* answer =
        Export<decltype(&wkeScriptedPageMessage)>("wkeScriptedPageMessage")(view, pageUrl, message);
    return answer != nullptr ? answer : "";
}

}  // namespace webtest
