#pragma once
// Builds a control tree from a layout: a file of the skin (read through
// CPaintManagerUI::LoadResourceFile) or literal XML text.
//
//   <Window size="870,578" caption="0,0,0,38" ...>      window attributes
//     <Font id="5" name="..." size="14" bold="true" default="true"/>
//     <Default name="Button" value="attribute list"/>
//     <Include source="other.xml"/>                      anywhere a control may stand
//     <VerticalLayout ...> ...controls... </VerticalLayout>   the one root control
//   </Window>
//
// Unknown elements go to the callback; those it does not know either are
// skipped with their children. Unknown attributes are kept as written.
// Each unknown name is reported once per process on the debug output.

#include "platform/duilib/UIControl.h"
#include "platform/duilib/UIDefine.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace DuiLib {

// One image a control (or the window) refers to.
struct TImageReference {
    CControlUI* control = nullptr;  // null: a window attribute
    std::string attribute;          // "bkimage", "normalimage", "text" (inline markup image) ...
    std::string file;               // the file part of the image string
    bool fullPath = false;          // restype='fullpath': a path on disk
};

class CDialogBuilder {
  public:
    // Nesting deeper than this, or more elements than kMaxElements in one
    // build (includes counted), rejects the layout.
    static constexpr int kMaxDepth = 256;
    static constexpr int kMaxElements = 100000;
    // Includes nested deeper than this are skipped (a layout including
    // itself ends here).
    static constexpr int kMaxIncludeDepth = 16;

    // Null when the layout cannot be read or parsed, has no root control,
    // or exceeds the limits. With `manager`, the window attributes, fonts
    // and default attribute lists go to it (the tree is not attached: the
    // window does that with AttachDialog). With a container `parent`, the
    // built root is added to it.
    CControlUI* Create(std::string_view xml, std::string_view type = {},
                       IDialogBuilderCallback* callback = nullptr, CPaintManagerUI* manager = nullptr,
                       CControlUI* parent = nullptr);

    // A new control of a layout element's class, or null for a class the
    // library does not know.
    static CControlUI* CreateControlOfClass(std::string_view className);

    // Every image the tree (and, with `manager`, the window) refers to.
    static std::vector<TImageReference> ListImages(CControlUI* root, CPaintManagerUI* manager = nullptr);
    // Those of ListImages that cannot be loaded: not in the archive in force
    // nor the resource folder (or, for full paths, not on disk).
    static std::vector<TImageReference> FindMissingImages(CControlUI* root,
                                                          CPaintManagerUI* manager = nullptr);

  private:
    struct BuildState;
};

}  // namespace DuiLib
