#pragma once
// A dialog built from a layout in a test skin folder, recording what it is
// told. Touched only on the UI thread.

#include "platform/duilib/UIMenu.h"
#include "platform/duilib/WinImplBase.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace uitest {

// A control that records the timer events it gets.
class TimerProbe : public DuiLib::CControlUI {
  public:
    std::vector<WPARAM> ticks;
    void DoEvent(DuiLib::TEventUI& event) override {
        if (event.Type == DuiLib::UIEVENT_TIMER)
            ticks.push_back(event.wParam);
        CControlUI::DoEvent(event);
    }
};

class SkinDialog : public DuiLib::WindowImplBase {
  public:
    SkinDialog(std::string folder, std::string file) : m_folder(std::move(folder)), m_file(std::move(file)) {}

    const char* GetWindowClassName() const override { return "VANTODialogClass"; }
    std::string GetSkinFolder() override { return m_folder; }
    std::string GetSkinFile() override { return m_file; }

    std::vector<std::string> notes;  // "type:sender"
    std::vector<std::string> menuChoices;
    std::vector<LPARAM> menuChecks;
    int inits = 0;
    bool escapeCloses = false;
    bool deleteSelf = false;
    std::function<void(DuiLib::TNotifyUI&)> onClick;
    std::unique_ptr<DuiLib::CMenuWnd> menu;
    TimerProbe* probe = nullptr;

    void Init() override { ++inits; }
    void Notify(DuiLib::TNotifyUI& msg) override {
        notes.push_back(msg.sType + ":" + (msg.pSender != nullptr ? msg.pSender->GetName() : std::string()));
        WindowImplBase::Notify(msg);
    }
    void OnClick(DuiLib::TNotifyUI& msg) override {
        if (onClick)
            onClick(msg);
        else
            WindowImplBase::OnClick(msg);
    }
    int Count(const std::string& note) const {
        int n = 0;
        for (const std::string& s : notes)
            n += s == note ? 1 : 0;
        return n;
    }

  protected:
    DuiLib::CControlUI* CreateControl(const char* cls) override {
        if (std::string(cls) == "TimerProbe")
            return probe = new TimerProbe;
        return nullptr;
    }
    LRESULT ResponseDefaultKeyEvent(WPARAM key) override {
        if (escapeCloses && key == VK_ESCAPE) {
            Close(1);
            return TRUE;
        }
        return WindowImplBase::ResponseDefaultKeyEvent(key);
    }
    LRESULT HandleCustomMessage(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) override {
        if (msg == WM_MENUCLICK) {
            auto* name = reinterpret_cast<std::string*>(wParam);
            menuChoices.push_back(*name);
            menuChecks.push_back(lParam);
            DuiLib::CPaintManagerUI::DeletePtr(name);
            return 0;
        }
        handled = false;
        return 0;
    }
    void OnFinalMessage(HWND hwnd) override {
        WindowImplBase::OnFinalMessage(hwnd);
        if (deleteSelf)
            delete this;
    }

  private:
    std::string m_folder;
    std::string m_file;
};

}  // namespace uitest
