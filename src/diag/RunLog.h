#pragma once
// The run log: a plain text file ("log.txt" in the current directory) that
// records the progress of start-up and of a few operations as marker lines
// and short status texts. Every write is appended and reaches the file at
// once, so the log is complete up to the last step when the process dies.
// The log holds the saved login token, so only a regular file of this user
// is ever written: a symbolic link, FIFO, device or another user's file at
// the path is left alone, and a new log is readable by its owner only. A log
// that cannot be opened keeps every write silent.

#include <mutex>
#include <string>
#include <string_view>

#include "platform/os/UniqueFd.h"

class CRunLog {
  public:
    CRunLog() = default;
    ~CRunLog() = default;
    CRunLog(const CRunLog&) = delete;
    CRunLog& operator=(const CRunLog&) = delete;

    // The process-wide log used by WriteRunLog.
    static CRunLog& Instance();

    // Sets the file path; start-up sets "./log.txt".
    void SetPath(std::string path);

    // Opens the file for appending (created 0600 when missing) once. An
    // existing log of this user loses any group and other permission bits. A
    // path that is no regular file of this user, or that cannot be opened,
    // leaves the run without a log: one debug line says so and writes are
    // dropped. Marks the log opened either way.
    void Open();

    bool IsOpened() const;

    // Appends a narrow (UTF-8) text unchanged.
    void Write(std::string_view text);

    // Appends a wide text, stored as UTF-8.
    void Write(std::u16string_view text);

  private:
    mutable std::mutex m_mutex;
    std::string m_path;
    os::UniqueFd m_fd;
    bool m_opened = false;
};

// Appends a text to the process-wide run log when it is open.
void WriteRunLog(std::string_view text);

// A marker line: line feed, 29 asterisks, the name, 37 asterisks, line feed.
std::string RunLogMarker(std::string_view name);
