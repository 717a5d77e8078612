#include "platform/duilib/backend/gtk/GtkWindowShape.h"

#include <algorithm>
#include <cmath>

namespace DuiLib {
namespace {
// How far row `y` of the corner band (0 = outermost) is cut in.
long Inset(long y, double rx, double ry) {
    const double dy = ry - (static_cast<double>(y) + 0.5);
    if (dy <= 0)
        return 0;
    const double dx = rx * std::sqrt(std::max(0.0, 1.0 - (dy * dy) / (ry * ry)));
    return static_cast<long>(std::lround(rx - dx));
}
}  // namespace

std::vector<RECT> RoundedWindowShape(long width, long height, long cornerWidth, long cornerHeight) {
    std::vector<RECT> rows;
    if (width <= 0 || height <= 0)
        return rows;
    if (cornerWidth <= 0 || cornerHeight <= 0) {
        rows.push_back(RECT{0, 0, width, height});
        return rows;
    }
    // Corners never overlap: at most half the window each way.
    const double rx = std::min(cornerWidth / 2.0, width / 2.0);
    const double ry = std::min(cornerHeight / 2.0, height / 2.0);
    for (long y = 0; y < height; ++y) {
        const long inset = std::max(Inset(y, rx, ry), Inset(height - 1 - y, rx, ry));
        if (inset * 2 >= width)
            continue;
        if (!rows.empty() && rows.back().bottom == y && rows.back().left == inset)
            rows.back().bottom = y + 1;  // the same span as the row above
        else
            rows.push_back(RECT{inset, y, width - inset, y + 1});
    }
    return rows;
}

}  // namespace DuiLib
