#include "ScreenProbe.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include "DesktopRig.h"

namespace bench {

struct ScreenProbe::Image {
    XImage* image = nullptr;
    ~Image() {
        if (image != nullptr)
            XDestroyImage(image);
    }
    bool Near(int x, int y, std::uint32_t colour, int tolerance) const {
        const unsigned long pixel = XGetPixel(image, x, y);
        // A 24-bit TrueColor screen: 0xRRGGBB.
        for (int shift : {0, 8, 16}) {
            const int a = static_cast<int>((pixel >> shift) & 0xFF);
            const int b = static_cast<int>((colour >> shift) & 0xFF);
            if (std::abs(a - b) > tolerance)
                return false;
        }
        return true;
    }
};

ScreenProbe::ScreenProbe(const std::string& display) {
    m_display = XOpenDisplay(display.c_str());
    if (m_display == nullptr)
        return;
    m_root = DefaultRootWindow(m_display);
    m_width = DisplayWidth(m_display, DefaultScreen(m_display));
    m_height = DisplayHeight(m_display, DefaultScreen(m_display));
}

ScreenProbe::~ScreenProbe() {
    if (m_display != nullptr)
        XCloseDisplay(m_display);
}

std::unique_ptr<ScreenProbe::Image> ScreenProbe::Grab(const Rect& area) {
    auto image = std::make_unique<Image>();
    if (m_display == nullptr || area.width <= 0 || area.height <= 0)
        return image;
    image->image = XGetImage(m_display, m_root, area.x, area.y, static_cast<unsigned>(area.width),
                             static_cast<unsigned>(area.height), AllPlanes, ZPixmap);
    return image;
}

double ScreenProbe::ColourShare(const Rect& area, std::uint32_t colour, int tolerance) {
    const auto shot = Grab(area);
    if (shot->image == nullptr)
        return 0;
    long matching = 0;
    for (int y = 0; y < area.height; ++y)
        for (int x = 0; x < area.width; ++x)
            matching += shot->Near(x, y, colour, tolerance) ? 1 : 0;
    return static_cast<double>(matching) / (static_cast<double>(area.width) * area.height);
}

std::optional<Rect> ScreenProbe::FindBand(std::uint32_t colour, int minRun, int tolerance) {
    const auto shot = Grab({0, 0, m_width, m_height});
    if (shot->image == nullptr)
        return std::nullopt;
    std::optional<Rect> band;
    int left = m_width;
    int right = 0;
    for (int y = 0; y < m_height; ++y) {
        int bestStart = 0;
        int best = 0;
        for (int x = 0, run = 0; x < m_width; ++x) {
            run = shot->Near(x, y, colour, tolerance) ? run + 1 : 0;
            if (run > best) {
                best = run;
                bestStart = x - run + 1;
            }
        }
        if (best >= minRun) {
            left = std::min(left, bestStart);
            right = std::max(right, bestStart + best);
            if (!band)
                band = Rect{0, y, 0, 0};
            band->height = y - band->y + 1;
        } else if (band) {
            break;
        }
    }
    if (band) {
        band->x = left;
        band->width = right - left;
    }
    return band;
}

bool ClickAt(const std::string& display, int x, int y) {
    Process xdotool(
        {"/usr/bin/xdotool", "mousemove", "--sync", std::to_string(x), std::to_string(y), "click", "1"},
        {{"DISPLAY", display}}, "", "/dev/null");
    return PollUntil([&] { return !xdotool.Running(); }, std::chrono::seconds(10)) && xdotool.Stop() == 0;
}

}  // namespace bench
