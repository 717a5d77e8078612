#include "shell/MainTabs.h"

#include "net/ServerApi.h"

#include <algorithm>

namespace {

// The options stand in the column as 01, 03, 02, 04, 05, 06; their names
// give the tab index.
constexpr std::array<MainTab, CMainTabs::kCount> kTabs{{
    {"Option01", 0, "web_opt01"},
    {"Option02", 1, "web_opt02"},
    {"Option03", 2, "web_opt03"},
    {"Option04", 3, "web_opt04"},
    {"Option05", 4, "web_opt05"},
    {"Option06", 5, "web_opt06"},
}};

constexpr std::array<std::string_view, CMainTabs::kCount> kPagePaths{
    api::kPresentationsPath, api::kSpreadsheetsPath, api::kDocumentsPath,
    api::kHomePath,          api::kFavoritesPath,    api::kDownloadsPath,
};

}  // namespace

const std::array<MainTab, CMainTabs::kCount>& CMainTabs::All() {
    return kTabs;
}

std::optional<MainTab> CMainTabs::ByOption(std::string_view option) {
    const auto* it =
        std::find_if(kTabs.begin(), kTabs.end(), [&](const MainTab& t) { return t.option == option; });
    if (it == kTabs.end())
        return std::nullopt;
    return *it;
}

std::string CMainTabs::PageUrl(int index, const std::string& homeAddress) {
    if (index == kHomeTab)
        return homeAddress;
    if (index < 0 || index >= kCount)
        return {};
    return api::ClientPageUrl(kPagePaths[static_cast<std::size_t>(index)]);
}

std::optional<CMainTabs::Choice> CMainTabs::Choose(std::string_view option) {
    const std::optional<MainTab> tab = ByOption(option);
    if (!tab)
        return std::nullopt;
    m_current = tab->index;
    if (tab->index >= kLoadOnceCount)
        return Choice{*tab, true};
    std::uint32_t& loaded = m_loaded[static_cast<std::size_t>(tab->index)];
    const bool load = loaded == 0;
    loaded = 1;
    return Choice{*tab, load};
}

bool CMainTabs::IsLoaded(int index) const {
    return index >= 0 && index < kLoadOnceCount && m_loaded[static_cast<std::size_t>(index)] != 0;
}
