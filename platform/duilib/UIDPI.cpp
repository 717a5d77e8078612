#include "platform/duilib/UIDPI.h"

#include "platform/duilib/backend/Screen.h"

#include <atomic>
#include <cstdint>

namespace DuiLib {
namespace {
std::atomic<int> g_awareness{PROCESS_DPI_UNAWARE};

// MulDiv: the product is taken in 64 bits and the quotient rounded half away
// from zero, as the Windows function does.
int MulDiv(int value, int numerator, int denominator) {
    if (denominator == 0)
        return value;
    const std::int64_t product = static_cast<std::int64_t>(value) * numerator;
    const std::int64_t half = denominator / 2;
    const std::int64_t result =
        product >= 0 ? (product + half) / denominator : (product - half) / denominator;
    return static_cast<int>(result);
}
}  // namespace

CDPI::CDPI() = default;

int CDPI::GetMainMonitorDPI() {
    return GetMainScreen().dpi;
}

bool CDPI::SetDPIAwareness(int awareness) {
    if (awareness < PROCESS_DPI_UNAWARE || awareness > PROCESS_PER_MONITOR_DPI_AWARE)
        return false;
    g_awareness.store(awareness);
    return true;
}

int CDPI::GetDPIAwareness() {
    return g_awareness.load();
}

void CDPI::SetScale(int dpi) {
    if (dpi < 48 || dpi > 960)
        return;
    m_nDPI = dpi;
    m_nScale = MulDiv(dpi, 100, 96);
}

int CDPI::Scale(int value) const {
    return m_nScale == 100 ? value : MulDiv(value, m_nScale, 100);
}

int CDPI::ScaleBack(int value) const {
    return m_nScale == 100 ? value : MulDiv(value, 100, m_nScale);
}

RECT CDPI::Scale(RECT rc) const {
    return RECT{Scale(static_cast<int>(rc.left)), Scale(static_cast<int>(rc.top)),
                Scale(static_cast<int>(rc.right)), Scale(static_cast<int>(rc.bottom))};
}

SIZE CDPI::Scale(SIZE size) const {
    return SIZE{Scale(static_cast<int>(size.cx)), Scale(static_cast<int>(size.cy))};
}

}  // namespace DuiLib
