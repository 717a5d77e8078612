#pragma once
// The template download's transfer: one document from the store into the
// side file the download dialog names ("<chosen path>.tmp"), on the
// download's worker thread. The dialog's completion then moves the side file
// over the chosen path (CommitTemplateFile).
//
// What a transfer guarantees, whatever the server does:
//   - the side file is created (owner-only, not inherited by programs the
//     client starts) or truncated when the reply starts, never appended to,
//     so a leftover of an earlier run is never spliced into the document;
//   - only a final reply with a 2xx status whose body arrived whole is
//     Complete: a 404 page, a body cut short, a body longer than announced
//     or than the size cap, or a write error is Failed;
//   - redirects are followed between http and https addresses only;
//   - a server silent for the stall limit (connecting, or within the reply)
//     ends the transfer as Failed; the stop event ends it as Stopped at once;
//   - a Complete side file is on the disk (synced) before Run returns;
//   - a side file that is not Complete is removed by the transfer itself (a
//     dialog that gave up waiting for a stopped worker may be gone already).
//
// One object per transfer; Run blocks its thread.

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace os {
class Event;
}

class CTemplateTransfer {
  public:
    enum class Outcome { Complete, Failed, Stopped };

    // Silence that ends a transfer; and the most bytes a document may have
    // (announced or received).
    static constexpr std::chrono::milliseconds kStallLimit{60000};
    static constexpr std::uint64_t kSizeCap = std::uint64_t{4} << 30;

    // Receives the percentage (0 to 100) on the transfer's thread, only while
    // the total is known and only when the value changes.
    using PercentSink = std::function<void(int percent)>;

    CTemplateTransfer(std::string url, std::string sidePath);

    void SetStallLimit(std::chrono::milliseconds limit) { m_stallLimit = limit; }
    void SetSizeCap(std::uint64_t bytes) { m_sizeCap = bytes; }
    // Ends the transfer as Stopped as soon as it is set; null for none. It
    // must outlive Run.
    void SetStopEvent(const os::Event* stop) { m_stop = stop; }
    void SetPercentSink(PercentSink sink) { m_percentSink = std::move(sink); }

    Outcome Run();

    // The final reply's status (0 when none arrived) and the body bytes
    // written, after Run.
    long Status() const { return m_status; }
    std::uint64_t Received() const { return m_received; }

  private:
    std::string m_url;
    std::string m_sidePath;
    std::chrono::milliseconds m_stallLimit = kStallLimit;
    std::uint64_t m_sizeCap = kSizeCap;
    const os::Event* m_stop = nullptr;
    PercentSink m_percentSink;
    long m_status = 0;
    std::uint64_t m_received = 0;
};

// Moves a Complete side file over `finalPath` (replacing a file of that
// name, never a folder or a device) and syncs the folder, so the new name
// survives a power loss. False, with both names as they were, otherwise.
bool CommitTemplateFile(const std::string& sidePath, const std::string& finalPath);
