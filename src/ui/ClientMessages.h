#pragma once
// The client's own window messages, all posted to (or sent to) the main
// window unless noted. wParam and lParam are 0 unless noted; where lParam
// carries a heap object it travels with DuiLib::PostOwned and belongs to the
// receiver. One list, so that every sender and the main window agree on the
// values.

#include "platform/duilib/UIDefine.h"

#include <string>

constexpr UINT UM_LOGOUT = WM_USER + 8000;             // 9024, from the user-info pop-up
constexpr UINT UM_LOGIN_DONE = WM_USER + 8001;         // 9025, from the login flow
constexpr UINT UM_SYNC_WEB_LOGIN = WM_USER + 8003;     // 9027, from the login flow
constexpr UINT UM_SHOW_LOGIN = WM_USER + 8004;         // 9028, from the page bridge, the user-info pop-up
constexpr UINT UM_DOWNLOAD = WM_USER + 8005;           // 9029, lParam: the download request record
constexpr UINT UM_DOWNLOAD_PROGRESS = WM_USER + 8006;  // 9030, to the download dialog; lParam: per cent
constexpr UINT UM_DOWNLOAD_DONE = WM_USER + 8007;      // 9031, to the download dialog
constexpr UINT UM_PAGE_OK = WM_USER + 8008;            // 9032, a page finished loading
constexpr UINT UM_PAGE_FAILED = WM_USER + 8009;        // 9033, a page failed: the disconnect page
constexpr UINT UM_HIDE_LOADING = WM_USER + 8010;       // 9034, the first start page finished
constexpr UINT UM_SHOW_LOADING = WM_USER + 8011;       // 9035, the first navigation to a start page
constexpr UINT UM_SHOW_INFO = WM_USER + 8012;          // 9036, lParam: the message key (heap text)
constexpr UINT UM_OPEN_FILE = WM_USER + 8013;          // 9037, lParam: the file's full path (heap text)
constexpr UINT UM_TOOLBOX_BUTTON = WM_USER + 8014;     // 9038, from the toolbox
constexpr UINT UM_REFRESH_DOWNLOADS = WM_USER + 8017;  // 9041, from the page bridge

// The payload of UM_DOWNLOAD: what a store page asked to download.
struct DownloadRequest {
    std::string url;    // the file's address, as the page sent it
    std::string title;  // the document's title, proposed as the file name
};

static_assert(UM_LOGOUT == 9024 && UM_REFRESH_DOWNLOADS == 9041,
              "the values other programs of the design use");
