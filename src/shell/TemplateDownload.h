#pragma once
// The request procedure of a template download: what the main window does
// with a store page's request for a document (UM_DOWNLOAD). A document the
// signed-in account downloaded before and whose file is still there opens
// at once (UM_OPEN_FILE to the main window); otherwise the user chooses
// where to save it and the download dialog runs modally over the main
// window until the user closes it. An address the client will not fetch (a
// scheme other than http and https, too long, no usable file name) drops
// the request with a debug line.
//
// UI thread (the main window's message handler).

#include "platform/duilib/UIDefine.h"
#include "ui/ClientMessages.h"

#include <chrono>
#include <memory>
#include <optional>

struct TemplateDownloadOptions {
    // The silence that fails a transfer; nothing: the transfer's own limit.
    std::optional<std::chrono::milliseconds> stallLimit;
};

// Runs `request` for the main window `mainWindow`; returns once the
// download dialog (if one was shown) has closed. The request is freed on
// every path.
void RunTemplateDownload(HWND mainWindow, std::unique_ptr<DownloadRequest> request,
                         const TemplateDownloadOptions& options = {});
