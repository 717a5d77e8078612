#pragma once
// What every view of the process shares: the one WebKitWebContext with its
// website data, cache and cookie store, the extra CA of the store
// (VANTO_CA_FILE) and the list of live views. Website data lives under the
// per-user folder ($XDG_CONFIG_HOME/vanto/webkit), the cache under
// $XDG_CACHE_HOME/vanto, and the cookies in one SQLite file in the folder
// wkeSetCookieJarPath names (the per-user folder until then), so the hidden
// login-sync view logs every page in.
//
// UI thread only (the thread of the default GLib main context).

#include "platform/wke/wke.h"

#include <webkit2/webkit2.h>

#include <string>
#include <vector>

class EngineContext {
  public:
    // The process's one context.
    static EngineContext& Get();

    EngineContext(const EngineContext&) = delete;
    EngineContext& operator=(const EngineContext&) = delete;

    // Whether the engine can be used here (GTK opens the display); asked once,
    // later calls answer the same.
    bool Initialize();
    bool Usable() const { return m_usable; }

    // The web context, made at the first call. Only once Usable().
    WebKitWebContext* Context();

    // The cookie store moves to `folder`/cookies.sqlite (made when missing);
    // nothing happens when it is there already.
    void UseCookieFolder(const std::string& folder);

    // Cache sizes for browsing with pages kept for back and forward.
    void UseBrowsingCache();

    // True when the store's CA vouches for `certificate` and the host of
    // `uri`: the certificate is then accepted for that host from now on.
    bool AcceptWithExtraCa(GTlsCertificate* certificate, const char* uri);

    // The live views, oldest first.
    void AddView(wkeWebView view);
    void RemoveView(wkeWebView view);
    bool IsLive(wkeWebView view) const;
    // The web view of the oldest view that has one (null: none yet), so that
    // every view shares its web process.
    WebKitWebView* OldestWebView() const;

  private:
    EngineContext() = default;
    ~EngineContext() = default;

    // The extra CA of VANTO_CA_FILE, read again when the variable names
    // another file; null without one.
    GTlsDatabase* ExtraCa();

    bool m_initialized = false;
    bool m_usable = false;
    WebKitWebContext* m_context = nullptr;
    std::string m_cookieFile;
    std::string m_caFile;
    GTlsDatabase* m_caDatabase = nullptr;
    std::vector<wkeWebView> m_views;
};

// One line of the debug output (standard error).
void DebugLine(const std::string& text);
