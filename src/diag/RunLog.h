#pragma once
// The run log: a plain text file ("log.txt" in the current directory) that
// records the progress of start-up and of a few operations as marker lines
// and short status texts. Every write is appended and reaches the file at
// once, so the log is complete up to the last step when the process dies.
// A log that cannot be opened keeps every write silent.

#include <mutex>
#include <string>
#include <string_view>

class CRunLog {
  public:
    CRunLog() = default;
    ~CRunLog();
    CRunLog(const CRunLog&) = delete;
    CRunLog& operator=(const CRunLog&) = delete;

    // The process-wide log used by WriteRunLog.
    static CRunLog& Instance();

    // Sets the file path; start-up sets "./log.txt".
    void SetPath(std::string path);

    // Opens the file for appending (created when missing) once. Marks the log
    // opened even when the file could not be opened; writes are then dropped.
    void Open();

    bool IsOpened() const;

    // Appends a narrow (UTF-8) text unchanged.
    void Write(std::string_view text);

    // Appends a wide text, stored as UTF-8.
    void Write(std::u16string_view text);

  private:
    mutable std::mutex m_mutex;
    std::string m_path;
    int m_fd = -1;
    bool m_opened = false;
};

// Appends a text to the process-wide run log when it is open.
void WriteRunLog(std::string_view text);

// A marker line: line feed, 29 asterisks, the name, 37 asterisks, line feed.
std::string RunLogMarker(std::string_view name);
