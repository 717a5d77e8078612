#pragma once
// The main window's six tabs: which option, tab index, web view and store
// page belong together, and the state of the choice (the tab last chosen
// and which of the first four have loaded their page). Tabs 0 to 3 show
// pages that do not change with the user and load once; the favourites and
// downloads tabs (4 and 5) load their page every time they are chosen. UI
// thread, like the window that keeps it.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct MainTab {
    std::string_view option;  // "Option01" ... "Option06"
    int index;                // 0 ... 5
    std::string_view view;    // "web_opt01" ... "web_opt06"
};

class CMainTabs {
  public:
    static constexpr int kCount = 6;
    // The tabs whose page loads only the first time they are chosen.
    static constexpr int kLoadOnceCount = 4;
    static constexpr int kHomeTab = 3;
    static constexpr int kDownloadsTab = 5;

    // Every tab, by index.
    static const std::array<MainTab, kCount>& All();
    // The tab of an option name; none for any other name.
    static std::optional<MainTab> ByOption(std::string_view option);
    // The store page of tab `index` on the client-page host; the home tab's
    // is `homeAddress`.
    static std::string PageUrl(int index, const std::string& homeAddress);

    // What choosing a tab asks of the window.
    struct Choice {
        MainTab tab;
        bool load;  // its page is to be loaded now
    };
    // The option `option` was chosen: it becomes the current tab, and the
    // answer says whether its page loads now (a tab of the first four only
    // the first time). None for a name that is not a tab's; the current tab
    // stays then.
    std::optional<Choice> Choose(std::string_view option);

    int Current() const { return m_current; }
    void SetCurrent(int index) { m_current = index; }
    // Whether tab `index` (0 to 3) has loaded its page; tabs 4 and 5 never
    // count as loaded.
    bool IsLoaded(int index) const;

  private:
    std::array<std::uint32_t, kLoadOnceCount> m_loaded{};
    std::int32_t m_current = 0;
};
