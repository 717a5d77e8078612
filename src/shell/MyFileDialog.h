#pragma once
// CMyFileDialog: the save dialog of a template download. It proposes the
// document's title as the file name, filters by the kind of document the
// store sends ("PPT文档(*.pptx)" for a presentation, "ALL Files(*.*)" for a
// kind it does not know), adds the kind's extension to a name typed without
// one, and asks before an existing file is replaced. The display back end
// shows it over its owner, centred there; headless, a test answers through
// DuiLib::SetSaveFileSink, and without one it is cancelled.
//
// UI thread (the request procedure of a download runs there).

#include "platform/duilib/SystemServices.h"

#include <optional>
#include <string>
#include <string_view>

class CMyFileDialog {
  public:
    // `extension`: the text after the first "." of the file's name on the
    // store ("pptx"); `title`: the document's title; `owner`: the window it
    // is shown over.
    CMyFileDialog(std::string_view extension, std::string_view title, HWND owner);

    // What the dialog is asked to show.
    const DuiLib::SaveFileRequest& Request() const { return m_request; }

    // Shows the dialog and waits: the chosen full path (with the extension
    // added when the name had none), or nothing when the user cancelled or
    // the dialog could not be shown.
    std::optional<std::string> Show() const;

  private:
    DuiLib::SaveFileRequest m_request;
};
