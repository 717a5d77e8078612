#include "shell/MyFileDialog.h"

#include "library/TemplateName.h"
#include "platform/os/Paths.h"

#include <utility>

CMyFileDialog::CMyFileDialog(std::string_view extension, std::string_view title, HWND owner) {
    m_request.owner = owner;
    m_request.filters.push_back(SaveFilterFor(extension));
    m_request.defaultExtension = std::string(extension);
    m_request.proposedName = ProposedSaveName(title);
    m_request.promptOverwrite = true;
    // Where a desktop's programs save documents, rather than wherever the
    // client happened to be started from.
    m_request.initialFolder = os::GetDocumentsFolder();
}

std::optional<std::string> CMyFileDialog::Show() const {
    DuiLib::SaveFileAnswer answer = DuiLib::ShowSaveFileDialog(m_request);
    if (!answer || answer->empty())
        return std::nullopt;
    // The back end's dialog adds it already; an answer from elsewhere gets
    // it here, so every path is treated alike.
    return DuiLib::WithDefaultExtension(std::move(*answer), m_request.defaultExtension);
}
