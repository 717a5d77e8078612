#pragma once
// The events a client registered on one engine view, with the value each
// registration passed along; shared by the engine modules so that every
// engine keeps them the same way.

#include "platform/wke/wke.h"

struct WkeViewCallbacks {
    wkeTitleChangedCallback onTitle = nullptr;
    void* titleParam = nullptr;
    wkeURLChangedCallback onUrl = nullptr;
    void* urlParam = nullptr;
    wkeAlertBoxCallback onAlert = nullptr;
    void* alertParam = nullptr;
    wkeNavigationCallback onNavigation = nullptr;
    void* navigationParam = nullptr;
    wkeCreateViewCallback onCreateView = nullptr;
    void* createViewParam = nullptr;
    wkeDocumentReadyCallback onReady = nullptr;
    void* readyParam = nullptr;
    wkeLoadingFinishCallback onFinish = nullptr;
    void* finishParam = nullptr;
    wkePageMessageCallback onMessage = nullptr;
    void* messageParam = nullptr;
};
