#include "platform/wke/webkitgtk/EngineContext.h"

#include "platform/wke/webkitgtk/WebkitView.h"

#include <gtk/gtk.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

std::string EnvFolder(const char* variable, const char* homeRelative) {
    const char* value = std::getenv(variable);
    if (value != nullptr && value[0] == '/')
        return value;
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : "") + "/" + homeRelative;
}

std::string UserDataFolder() {
    return EnvFolder("XDG_CONFIG_HOME", ".config") + "/vanto";
}

std::string HostOf(const char* uri) {
    GUri* parsed = g_uri_parse(uri, G_URI_FLAGS_NONE, nullptr);
    if (parsed == nullptr)
        return {};
    std::string host = g_uri_get_host(parsed) != nullptr ? g_uri_get_host(parsed) : "";
    g_uri_unref(parsed);
    return host;
}

// True when `certificate` verifies for the host of `uri` against `database`.
bool Verifies(GTlsDatabase* database, GTlsCertificate* certificate, const char* uri) {
    GError* error = nullptr;
    GSocketConnectable* identity = g_network_address_parse_uri(uri, 443, &error);
    if (identity == nullptr) {
        g_clear_error(&error);
        return false;
    }
    const GTlsCertificateFlags flags =
        g_tls_database_verify_chain(database, certificate, G_TLS_DATABASE_PURPOSE_AUTHENTICATE_SERVER,
                                    identity, nullptr, G_TLS_DATABASE_VERIFY_NONE, nullptr, &error);
    g_clear_error(&error);
    g_object_unref(identity);
    return flags == 0;
}

// The engine downloads nothing (the client downloads templates itself).
void OnDownloadStarted(WebKitWebContext*, WebKitDownload* download, gpointer) {
    webkit_download_cancel(download);
}

}  // namespace

void DebugLine(const std::string& text) {
    std::fprintf(stderr, "%s\n", text.c_str());
}

EngineContext& EngineContext::Get() {
    static EngineContext context;
    return context;
}

bool EngineContext::Initialize() {
    if (m_initialized)
        return m_usable;
    m_initialized = true;
    // WebKit's sandbox cannot start as root (containers, CI); for anyone
    // else it stays as WebKit has it.
    if (geteuid() == 0)
        setenv("WEBKIT_DISABLE_SANDBOX_THIS_IS_DANGEROUS", "1", 1);
    m_usable = gtk_init_check(nullptr, nullptr) != FALSE;
    return m_usable;
}

WebKitWebContext* EngineContext::Context() {
    if (m_context != nullptr)
        return m_context;
    const std::string data = UserDataFolder() + "/webkit";
    const std::string cache = EnvFolder("XDG_CACHE_HOME", ".cache") + "/vanto";
    WebKitWebsiteDataManager* manager = webkit_website_data_manager_new(
        "base-data-directory", data.c_str(), "base-cache-directory", cache.c_str(), nullptr);
    webkit_website_data_manager_set_tls_errors_policy(manager, WEBKIT_TLS_ERRORS_POLICY_FAIL);
    m_context = webkit_web_context_new_with_website_data_manager(manager);
    g_object_unref(manager);
    webkit_web_context_set_cache_model(m_context, WEBKIT_CACHE_MODEL_DOCUMENT_BROWSER);
    g_signal_connect(m_context, "download-started", G_CALLBACK(&OnDownloadStarted), nullptr);
    UseCookieFolder(UserDataFolder());
    return m_context;
}

void EngineContext::UseCookieFolder(const std::string& folder) {
    const std::string file = folder + "/cookies.sqlite";
    if (file == m_cookieFile)
        return;
    g_mkdir_with_parents(folder.c_str(), 0700);
    m_cookieFile = file;
    WebKitCookieManager* cookies = webkit_web_context_get_cookie_manager(Context());
    webkit_cookie_manager_set_persistent_storage(cookies, file.c_str(),
                                                 WEBKIT_COOKIE_PERSISTENT_STORAGE_SQLITE);
    webkit_cookie_manager_set_accept_policy(cookies, WEBKIT_COOKIE_POLICY_ACCEPT_NO_THIRD_PARTY);
}

void EngineContext::UseBrowsingCache() {
    webkit_web_context_set_cache_model(Context(), WEBKIT_CACHE_MODEL_WEB_BROWSER);
}

GTlsDatabase* EngineContext::ExtraCa() {
    const char* file = std::getenv("VANTO_CA_FILE");
    const std::string wanted = file != nullptr ? file : "";
    if (wanted == m_caFile)
        return m_caDatabase;
    g_clear_object(&m_caDatabase);
    m_caFile = wanted;
    if (wanted.empty())
        return nullptr;
    GError* error = nullptr;
    m_caDatabase = g_tls_file_database_new(wanted.c_str(), &error);
    if (m_caDatabase == nullptr)
        DebugLine("web engine: VANTO_CA_FILE unreadable: " + std::string(error ? error->message : file));
    g_clear_error(&error);
    return m_caDatabase;
}

bool EngineContext::AcceptWithExtraCa(GTlsCertificate* certificate, const char* uri) {
    if (certificate == nullptr || uri == nullptr)
        return false;
    const std::string host = HostOf(uri);
    GTlsDatabase* database = ExtraCa();
    if (host.empty() || database == nullptr || !Verifies(database, certificate, uri))
        return false;
    webkit_web_context_allow_tls_certificate_for_host(Context(), certificate, host.c_str());
    return true;
}

void EngineContext::AddView(wkeWebView view) {
    m_views.push_back(view);
}

void EngineContext::RemoveView(wkeWebView view) {
    std::erase(m_views, view);
}

bool EngineContext::IsLive(wkeWebView view) const {
    return std::find(m_views.begin(), m_views.end(), view) != m_views.end();
}

WebKitWebView* EngineContext::OldestWebView() const {
    for (wkeWebView view : m_views) {
        if (view->widget != nullptr)
            return view->widget;
    }
    return nullptr;
}
