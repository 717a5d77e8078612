#pragma once
// Reads the X screen as a user would see it: the root window's pixels,
// polled by the bench on its own connection, and real clicks (XTest through
// xdotool). Both sides of a comparison are looked at the same way.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

struct _XDisplay;

namespace bench {

struct Rect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

class ScreenProbe {
  public:
    explicit ScreenProbe(const std::string& display);
    ~ScreenProbe();
    ScreenProbe(const ScreenProbe&) = delete;
    ScreenProbe& operator=(const ScreenProbe&) = delete;

    bool Open() const { return m_display != nullptr; }
    int Width() const { return m_width; }
    int Height() const { return m_height; }

    // The share (0..1) of the pixels in `area` within `tolerance` of
    // `colour` (0xRRGGBB) in every channel.
    double ColourShare(const Rect& area, std::uint32_t colour, int tolerance = 4);
    // The band a page's header paints: the rows of the screen whose longest
    // run of `colour` is at least `minRun` pixels, first group of such rows,
    // spanning the runs' extent. None while no such row is on screen.
    std::optional<Rect> FindBand(std::uint32_t colour, int minRun, int tolerance = 4);

  private:
    struct Image;
    std::unique_ptr<Image> Grab(const Rect& area);

    ::_XDisplay* m_display = nullptr;
    unsigned long m_root = 0;
    int m_width = 0;
    int m_height = 0;
};

// A real click (xdotool: XTest) at a point of the screen `display`.
bool ClickAt(const std::string& display, int x, int y);

}  // namespace bench
