#include "platform/duilib/UIProgress.h"

#include "platform/duilib/UIRender.h"

#include <algorithm>
#include <cmath>

namespace DuiLib {

std::string_view CProgressUI::GetClass() const {
    return "Progress";
}

void* CProgressUI::GetInterface(std::string_view name) {
    return name == kControlInterface<CProgressUI> ? this : CLabelUI::GetInterface(name);
}

void CProgressUI::SetMinValue(int min) {
    if (min > m_nMax)
        return;
    m_nMin = min;
    SetValue(m_nValue);
}

void CProgressUI::SetMaxValue(int max) {
    if (max < m_nMin)
        return;
    m_nMax = max;
    SetValue(m_nValue);
}

void CProgressUI::SetValue(int value) {
    value = std::clamp(value, m_nMin, m_nMax);
    if (value == m_nValue)
        return;
    m_nValue = value;
    Changed(ControlChange::Value);
}

void CProgressUI::SetForeImage(std::string_view image) {
    if (image == m_sForeImage)
        return;
    m_sForeImage = image;
    Changed(ControlChange::Image);
}

RECT CProgressUI::GetValueRect() const {
    const RECT rc = GetPos();
    // In 64 bits: the range of two ints may not fit in one.
    const long long range = static_cast<long long>(m_nMax) - m_nMin;
    if (range <= 0)
        return RECT{rc.left, rc.top, rc.left, rc.top};
    const double fraction = static_cast<double>(static_cast<long long>(m_nValue) - m_nMin) / range;
    RECT shown = rc;
    if (m_bHorizontal)
        shown.right = rc.left + static_cast<long>(std::lround(rc.Width() * fraction));
    else
        shown.top = rc.bottom - static_cast<long>(std::lround(rc.Height() * fraction));
    return shown;
}

void CProgressUI::SetAttribute(std::string_view name, std::string_view value) {
    if (name == "min") {
        if (auto v = ParseInt(value))
            SetMinValue(*v);
    } else if (name == "max") {
        if (auto v = ParseInt(value))
            SetMaxValue(*v);
    } else if (name == "value") {
        if (auto v = ParseInt(value))
            SetValue(*v);
    } else if (name == "hor") {
        if (auto on = ParseBool(value))
            SetHorizontal(*on);
    } else if (name == "foreimage") {
        SetForeImage(value);
    }
    CLabelUI::SetAttribute(name, value);
}

}  // namespace DuiLib
