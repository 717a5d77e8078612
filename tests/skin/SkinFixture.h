#pragma once
// The skin tests' fixture: the program's embedded skin archive in force in
// the UI library (as start-up puts it), and layouts built from it into a
// paint manager the way a window builds them.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "config/OemConfig.h"
#include "platform/duilib/UIDlgBuilder.h"
#include "platform/duilib/UIManager.h"

namespace skintest {

// Every layout of the built-in skin, with the window size it declares.
struct LayoutInfo {
    const char* file;
    int width;
    int height;
};
inline const std::vector<LayoutInfo>& AllLayouts() {
    static const std::vector<LayoutInfo> layouts = {
        {"Form_Main.xml", 870, 578}, {"Form_Menu.xml", 132, 104},      {"Form_user_info.xml", 260, 255},
        {"dlg_about.xml", 400, 260}, {"dlg_message.xml", 380, 200},    {"dlg_download.xml", 470, 185},
        {"dlg_reg.xml", 408, 480},   {"dlg_webbrowser.xml", 750, 560},
    };
    return layouts;
}

// One built layout: its window's manager owns the tree.
struct BuiltLayout {
    std::unique_ptr<DuiLib::CPaintManagerUI> manager = std::make_unique<DuiLib::CPaintManagerUI>();
    DuiLib::CControlUI* root = nullptr;

    DuiLib::CControlUI* Find(std::string_view name) const { return manager->FindControl(name); }
    template <typename T>
    T* FindAs(std::string_view name, std::string_view kind) const {
        DuiLib::CControlUI* control = Find(name);
        return control != nullptr ? static_cast<T*>(control->GetInterface(kind)) : nullptr;
    }
    // Places the tree in a window of the layout's own size.
    void Place() const {
        const SIZE size = manager->GetInitSize();
        manager->UpdateLayout(RECT{0, 0, size.cx, size.cy});
    }
};

class SkinTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(m_oem.LoadSkinArchive()) << "the skin object is not linked";
        ASSERT_TRUE(DuiLib::CPaintManagerUI::SetResourceZip(m_oem.SkinArchive(), m_oem.SkinArchiveSize()));
    }
    void TearDown() override { DuiLib::CPaintManagerUI::SetResourceZip(nullptr, 0); }

    static BuiltLayout Build(std::string_view file) {
        BuiltLayout layout;
        DuiLib::CDialogBuilder builder;
        layout.root = builder.Create(file, {}, nullptr, layout.manager.get());
        if (layout.root != nullptr) {
            layout.manager->AttachDialog(layout.root);
        }
        return layout;
    }

    COemConfig m_oem;
};

}  // namespace skintest
