#pragma once
// A plain window for the window-layer tests: it records every message it
// gets and lets a test answer messages. Touched only on the UI thread.

#include "platform/duilib/WindowWnd.h"

#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace uitest {

struct Logged {
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
};

class TestWindow : public DuiLib::CWindowWnd {
  public:
    explicit TestWindow(const char* className = "TestWindow") : m_className(className) {}

    const char* GetWindowClassName() const override { return m_className; }

    std::vector<Logged> log;
    // Answers a message instead of the default handling when it returns a value.
    std::function<std::optional<LRESULT>(UINT, WPARAM, LPARAM)> onMessage;
    int* finalCount = nullptr;
    bool deleteOnFinal = false;

    int Count(UINT msg) const {
        int n = 0;
        for (const Logged& l : log)
            n += l.msg == msg ? 1 : 0;
        return n;
    }
    std::vector<UINT> Messages() const {
        std::vector<UINT> out;
        for (const Logged& l : log)
            out.push_back(l.msg);
        return out;
    }

  protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
        log.push_back({msg, wParam, lParam});
        if (onMessage) {
            if (std::optional<LRESULT> answer = onMessage(msg, wParam, lParam))
                return *answer;
        }
        return CWindowWnd::HandleMessage(msg, wParam, lParam);
    }
    void OnFinalMessage(HWND) override {
        if (finalCount != nullptr)
            ++*finalCount;
        if (deleteOnFinal)
            delete this;
    }

  private:
    const char* m_className;
};

}  // namespace uitest
