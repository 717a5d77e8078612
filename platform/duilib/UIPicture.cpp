#include "platform/duilib/UIPicture.h"

namespace DuiLib {

std::string_view CPictureUI::GetClass() const {
    return "Picture";
}

void* CPictureUI::GetInterface(std::string_view name) {
    return name == kControlInterface<CPictureUI> ? this : CControlUI::GetInterface(name);
}

void CPictureUI::SetBitmap(std::string_view image) {
    if (image == m_sBitmap)
        return;
    m_sBitmap = image;
    Changed(ControlChange::Image);
}

void CPictureUI::SetAttribute(std::string_view name, std::string_view value) {
    if (name == "bitmap" || name == "image")
        SetBitmap(value);
    CControlUI::SetAttribute(name, value);
}

}  // namespace DuiLib
