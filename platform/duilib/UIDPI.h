#pragma once
// The scale of one window: its DPI and the factor (in per cent) by which the
// layout's lengths grow. 96 DPI is 100 %.

#include "platform/duilib/UIDefine.h"

namespace DuiLib {

// Process DPI awareness values of the Windows API.
constexpr int PROCESS_DPI_UNAWARE = 0;
constexpr int PROCESS_SYSTEM_DPI_AWARE = 1;
constexpr int PROCESS_PER_MONITOR_DPI_AWARE = 2;

class CDPI {
  public:
    CDPI();

    // The main monitor's DPI, from the screen record the back end keeps.
    static int GetMainMonitorDPI();
    // The process-wide awareness; may be called from any thread.
    static bool SetDPIAwareness(int awareness);
    static int GetDPIAwareness();

    int GetDPI() const { return m_nDPI; }
    // The scale in per cent (96 DPI = 100).
    int GetScale() const { return m_nScale; }
    // Takes a DPI value; values outside 48..960 are refused and leave the
    // scale as it was.
    void SetScale(int dpi);
    int Scale(int value) const;
    int ScaleBack(int value) const;
    RECT Scale(RECT rc) const;
    SIZE Scale(SIZE size) const;

  private:
    int m_nDPI = 96;
    int m_nScale = 100;
};

}  // namespace DuiLib
