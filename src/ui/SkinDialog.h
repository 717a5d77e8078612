#pragma once
// CSkinDialog: the pattern every dialog of the client follows (about box,
// message box, download, login, browser). The layout comes from the skin
// folder below the program folder (or the skin archive in force), the
// window class is the dialogs' shared one, "windowinit" runs the dialog's
// own initialisation and "click" its OnClick; closing destroys the window at
// once. Whether the object deletes itself when its window is gone is the
// dialog's choice: one its creator does not keep (the about box) does, one
// whose result the creator reads afterwards (the message box) does not.

#include "platform/duilib/WinImplBase.h"

#include <string>

class CSkinDialog : public DuiLib::WindowImplBase {
  public:
    static constexpr const char* kClassName = "VANTODialogClass";

    const char* GetWindowClassName() const override { return kClassName; }
    UINT GetClassStyle() const override { return UI_CLASSSTYLE_DIALOG; }
    // Program folder + "skin/".
    std::string GetSkinFolder() override;
    // The layout name + ".xml".
    std::string GetSkinFile() override;
    void Notify(DuiLib::TNotifyUI& msg) override;

  protected:
    // `layoutName` without ".xml" ("dlg_about"); `deleteSelf`: the object
    // goes with its window.
    CSkinDialog(std::string layoutName, bool deleteSelf);

    // The dialog's initialisation on "windowinit".
    virtual void OnWindowInit() {}
    // The window goes at once; the message counts as handled.
    LRESULT OnClose(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;
    void OnFinalMessage(HWND hWnd) override;

  private:
    std::string m_layoutName;
    bool m_deleteSelf;
};
