#pragma once
// A control that shows one image (the user's picture, a logo).

#include "platform/duilib/UIControl.h"

namespace DuiLib {

class CPictureUI : public CControlUI {
  public:
    std::string_view GetClass() const override;
    void* GetInterface(std::string_view name) override;

    // An image string: a file of the skin, or a path on disk with
    // restype='fullpath'.
    void SetBitmap(std::string_view image);
    const std::string& GetBitmap() const { return m_sBitmap; }

    void SetAttribute(std::string_view name, std::string_view value) override;

  private:
    std::string m_sBitmap;
};
template <>
inline constexpr std::string_view kControlInterface<CPictureUI> = "Picture";

}  // namespace DuiLib
