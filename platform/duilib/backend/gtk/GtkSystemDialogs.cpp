#include "platform/duilib/backend/gtk/GtkSystemDialogs.h"

#include "platform/duilib/MessageQueue.h"
#include "platform/duilib/ModalScope.h"
#include "platform/duilib/UiCall.h"
#include "platform/duilib/WinUser.h"
#include "platform/duilib/backend/gtk/GtkBackend.h"
#include "platform/duilib/backend/gtk/GtkHolders.h"
#include "platform/duilib/backend/gtk/GtkWindowPeer.h"
#include "platform/duilib/backend/headless/HeadlessBackend.h"

#include <sys/stat.h>

#include <string_view>

namespace DuiLib {

struct GtkSystemDialogs::Running {
    gtk::GObjectPtr<GtkWidget> dialog;  // ours until the runner destroys it
    SystemDialogInfo info;
    std::optional<int> response;
    std::optional<std::string> chosenPath;  // a save dialog answered by the automation
    bool ownerGone = false;
};

namespace {
GtkMessageType KindOf(UINT type) {
    switch (type & 0xF0) {
        case MB_ICONERROR:
            return GTK_MESSAGE_ERROR;
        case 0x30:
            return GTK_MESSAGE_WARNING;
        case 0x20:
            return GTK_MESSAGE_QUESTION;
        default:
            return GTK_MESSAGE_INFO;
    }
}

int AnswerOf(int response, bool yesNo) {
    switch (response) {
        case GTK_RESPONSE_YES:
            return IDYES;
        case GTK_RESPONSE_NO:
            return IDNO;
        case GTK_RESPONSE_OK:
            return IDOK;
        default:
            return yesNo ? IDNO : IDOK;
    }
}

void AddFilters(GtkFileChooser* chooser, const SaveFileRequest& request) {
    for (const auto& [label, patterns] : request.filters) {
        GtkFileFilter* filter = gtk_file_filter_new();  // the chooser sinks it
        gtk_file_filter_set_name(filter, label.c_str());
        std::string_view rest = patterns;
        while (!rest.empty()) {
            const std::size_t semi = rest.find(';');
            const std::string pattern(rest.substr(0, semi));
            if (!pattern.empty())
                gtk_file_filter_add_pattern(filter, pattern.c_str());
            rest = semi == std::string_view::npos ? std::string_view{} : rest.substr(semi + 1);
        }
        gtk_file_chooser_add_filter(chooser, filter);
    }
}
}  // namespace

namespace {
// Makes the dialog's modal loop look at its end again. Waking the back end
// is not enough: the queue waits on until a message comes, so an answer the
// toolkit gave (Return, a button) would sit unseen, the dialog on screen,
// until some unrelated message arrived. An empty task is such a message.
// UI thread.
void RecheckModalLoop() {
    MessageQueue::Instance().PostTask([] {});
}
}  // namespace

void GtkSystemDialogs::ResponseCb(GtkDialog*, gint response, gpointer self) {
    auto* dialogs = static_cast<GtkSystemDialogs*>(self);
    if (dialogs->m_running != nullptr && !dialogs->m_running->response)
        dialogs->m_running->response = response;
    RecheckModalLoop();
}

void GtkSystemDialogs::WindowGoing(HWND hwnd) {
    if (m_running != nullptr && hwnd != nullptr && m_running->info.owner == hwnd) {
        m_running->ownerGone = true;
        RecheckModalLoop();
    }
}

int GtkSystemDialogs::Run(
    GtkWidget* dialog, const SystemDialogInfo& info,
    const std::function<void(int response, const std::optional<std::string>& automated)>& collect) {
    Running run{gtk::GObjectPtr<GtkWidget>(GTK_WIDGET(g_object_ref(dialog))), info, {}, {}, false};
    const HWND owner = info.owner;
    if (GtkWindowPeer* ownerPeer = m_backend.FindPeer(owner)) {
        gtk_window_set_transient_for(GTK_WINDOW(dialog), ownerPeer->Toplevel());
        gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER_ON_PARENT);
    } else {
        gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
    }
    m_running = &run;
    g_signal_connect(dialog, "response", G_CALLBACK(ResponseCb), this);
    {
        ModalScope scope(owner);
        gtk_widget_show_all(dialog);
        gtk_window_present(GTK_WINDOW(dialog));
        MessageQueue::Instance().NoteWindowChange();
        scope.Run([&] {
            return run.response.has_value() || run.ownerGone || (owner != nullptr && !::IsWindow(owner));
        });
        m_running = nullptr;
        g_signal_handlers_disconnect_by_data(dialog, this);
        if (collect)
            collect(run.response.value_or(GTK_RESPONSE_DELETE_EVENT), run.chosenPath);
        gtk_widget_destroy(dialog);
    }
    MessageQueue::Instance().NoteWindowChange();
    return run.response.value_or(GTK_RESPONSE_DELETE_EVENT);
}

int GtkSystemDialogs::ShowMessageBox(HWND owner, const std::string& text, const std::string& caption,
                                     UINT type) {
    // A box the UI thread cannot come to in time, or whose owner is gone
    // first, is answered as one closed without a button.
    const int unanswered = (type & 0x0F) == MB_YESNO ? IDNO : IDOK;
    return UiCallFor<int>([&] { return MessageBoxOnUiThread(owner, text, caption, type); }, unanswered,
                          UiCallLimits{.window = owner, .runHereWithoutUiThread = true});
}

int GtkSystemDialogs::MessageBoxOnUiThread(HWND owner, const std::string& text, const std::string& caption,
                                           UINT type) {
    if (m_running != nullptr)  // one at a time
        return HeadlessBackend(HeadlessBackend::Options{}).ShowMessageBox(owner, text, caption, type);
    const bool yesNo = (type & 0x0F) == MB_YESNO;
    // Not destroyed with its parent: the runner ends it when its owner goes,
    // and destroys it itself.
    GtkWidget* dialog =
        gtk_message_dialog_new(nullptr, GtkDialogFlags(0), KindOf(type),
                               yesNo ? GTK_BUTTONS_YES_NO : GTK_BUTTONS_OK, "%s", text.c_str());
    gtk_window_set_title(GTK_WINDOW(dialog), caption.c_str());
    gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
    const int response =
        Run(dialog, SystemDialogInfo{SystemDialogInfo::Kind::MessageBox, owner, caption, text}, nullptr);
    return AnswerOf(response, yesNo);
}

SaveFileAnswer GtkSystemDialogs::ShowSaveFile(const SaveFileRequest& request) {
    // Not shown in time (or its owner gone first): cancelled.
    return UiCallFor<SaveFileAnswer>([&] { return SaveFileOnUiThread(request); }, std::nullopt,
                                     UiCallLimits{.window = request.owner, .runHereWithoutUiThread = true});
}

SaveFileAnswer GtkSystemDialogs::SaveFileOnUiThread(const SaveFileRequest& request) {
    SaveFileRequest shown = request;
    for (;;) {
        std::string typed;
        const SaveFileAnswer answer = RunSaveChooser(shown, typed);
        struct stat st {};
        if (!answer || !request.promptOverwrite || typed == *answer || ::stat(answer->c_str(), &st) != 0)
            return answer;
        // The added extension names an existing file the chooser never
        // asked about (it saw the name without it): it shows again with
        // that name, so that saving asks its own question before a file is
        // replaced.
        const std::size_t slash = answer->find_last_of('/');
        shown.initialFolder = slash == std::string::npos ? std::string() : answer->substr(0, slash + 1);
        shown.proposedName = answer->substr(slash == std::string::npos ? 0 : slash + 1);
    }
}

SaveFileAnswer GtkSystemDialogs::RunSaveChooser(const SaveFileRequest& request, std::string& typed) {
    if (m_running != nullptr)
        return std::nullopt;
    GtkWidget* dialog =
        gtk_file_chooser_dialog_new("", nullptr, GTK_FILE_CHOOSER_ACTION_SAVE, "_Cancel", GTK_RESPONSE_CANCEL,
                                    "_Save", GTK_RESPONSE_ACCEPT, nullptr);
    GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
    // Return saves; the chooser's own checks (the overwrite question)
    // answer through this default.
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT);
    gtk_file_chooser_set_do_overwrite_confirmation(chooser, request.promptOverwrite ? TRUE : FALSE);
    gtk_file_chooser_set_local_only(chooser, TRUE);
    AddFilters(chooser, request);
    if (!request.initialFolder.empty())
        gtk_file_chooser_set_current_folder(chooser, request.initialFolder.c_str());
    const std::string proposed = WithDefaultExtension(request.proposedName, request.defaultExtension);
    gtk_file_chooser_set_current_name(chooser, proposed.c_str());
    // The chosen name is read before the runner destroys the dialog.
    SaveFileAnswer answer;
    Run(dialog, SystemDialogInfo{SystemDialogInfo::Kind::SaveFile, request.owner, "", proposed},
        [&](int response, const std::optional<std::string>& automated) {
            if (response != GTK_RESPONSE_ACCEPT)
                return;
            if (automated) {
                typed = *automated;
            } else if (gtk::GCharPtr name(gtk_file_chooser_get_filename(chooser)); name != nullptr) {
                typed = name.get();
            } else {
                return;
            }
            answer = WithDefaultExtension(typed, request.defaultExtension);
        });
    return answer;
}

std::optional<SystemDialogInfo> GtkSystemDialogs::Open() const {
    if (m_running == nullptr || !gtk_widget_get_mapped(m_running->dialog.get()))
        return std::nullopt;
    return m_running->info;
}

bool GtkSystemDialogs::Answer(const SystemDialogReply& reply) {
    if (m_running == nullptr)
        return false;
    if (m_running->info.kind == SystemDialogInfo::Kind::SaveFile) {
        // As a user typing the name and pressing Save (the chooser's own
        // questions are the user's business, not the automation's).
        if (reply.button == IDOK)
            m_running->chosenPath = reply.path;
        if (!m_running->response)
            m_running->response = reply.button == IDOK ? GTK_RESPONSE_ACCEPT : GTK_RESPONSE_CANCEL;
        RecheckModalLoop();
        return true;
    }
    gtk_dialog_response(GTK_DIALOG(m_running->dialog.get()), reply.button == IDYES  ? GTK_RESPONSE_YES
                                                             : reply.button == IDNO ? GTK_RESPONSE_NO
                                                                                    : GTK_RESPONSE_OK);
    return true;
}

}  // namespace DuiLib
