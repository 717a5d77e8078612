#pragma once
// A progress bar: a value within [min, max].

#include "platform/duilib/UILabel.h"

namespace DuiLib {

class CProgressUI : public CLabelUI {
  public:
    std::string_view GetClass() const override;
    void* GetInterface(std::string_view name) override;

    int GetMinValue() const { return m_nMin; }
    // A new range keeps the value inside it. A minimum above the maximum
    // (or the reverse) is refused.
    void SetMinValue(int min);
    int GetMaxValue() const { return m_nMax; }
    void SetMaxValue(int max);
    int GetValue() const { return m_nValue; }
    // Clamped to [min, max].
    void SetValue(int value);
    bool IsHorizontal() const { return m_bHorizontal; }
    void SetHorizontal(bool on) { m_bHorizontal = on; }
    const std::string& GetForeImage() const { return m_sForeImage; }
    void SetForeImage(std::string_view image);

    // The part of the bar the fore image shows at the value: from the left
    // (or, upright, from the bottom) in proportion; empty for an empty
    // range or the minimum.
    RECT GetValueRect() const;

    void SetAttribute(std::string_view name, std::string_view value) override;

  protected:
    int m_nMin = 0;
    int m_nMax = 100;
    int m_nValue = 0;
    bool m_bHorizontal = true;
    std::string m_sForeImage;
};
template <>
inline constexpr std::string_view kControlInterface<CProgressUI> = "Progress";

}  // namespace DuiLib
