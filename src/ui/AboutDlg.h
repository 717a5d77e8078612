#pragma once
// CAboutDlg: the about box ("dlg_about"): the installed version, and unless
// the partner configuration hides them, the store's site and the
// publisher's line. Created on the heap and run modally by the main window;
// it deletes itself when its window is gone.

#include "ui/SkinDialog.h"

class CAboutDlg : public CSkinDialog {
  public:
    CAboutDlg();

  protected:
    void OnWindowInit() override;
    void OnClick(DuiLib::TNotifyUI& msg) override;
};
