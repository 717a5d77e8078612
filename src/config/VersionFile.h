#pragma once
// VersionFile: the version files the update and toolbox hosts serve (the
// text "version=" and the version on offer), the comparison of a server's
// version with the installed one, and the once-a-day rule of the checks that
// fetch them: a check records the day of the month it ran (or downloaded)
// in a per-user registry value and does not run again on a day whose number
// that value holds.
//
// An object names one check's day value and where today's day comes from
// (local time unless a test sets its own source). It is a small value: a
// worker takes a copy. Any thread, as long as the day source allows it.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

class VersionFile {
  public:
    // Today's day of the month, 1-31.
    using DayOfMonthSource = std::function<int()>;

    // A version file begins with this text (exact case).
    static constexpr std::string_view kPrefix = "version=";

    // `dayValue`: the registry value under the client's per-user key that
    // holds the day of the month of the last check ("UpdateDay",
    // "ToolboxDay"), a 32-bit number.
    explicit VersionFile(std::string dayValue);

    // The version a file offers: every line feed and tab is removed from the
    // whole text first, then it must begin with "version=" (exact case); the
    // rest is the version (possibly empty). Carriage returns, spaces and
    // everything else stay and belong to it. Nothing when the text does not
    // begin so.
    static std::optional<std::string> ReadVersion(std::string_view fileText);

    // Whether the server's version is newer than the installed one: compared
    // code unit by code unit in UTF-16 (unsigned), it is greater at the first
    // difference, or `local` ends where it goes on. Texts, not numbers:
    // "1.10" is older than "1.9", "2" newer than "10"; equal is not newer.
    static bool IsNewer(std::string_view server, std::string_view local);

    // Today's day of the month in local time.
    static int LocalDayOfMonth();

    // Replaces where Today() comes from (null: local time again).
    void SetDayOfMonthSource(DayOfMonthSource source);
    int Today() const;

    // Whether the stored day (missing reads as 0) holds `day` in its low 16
    // bits, whatever the high ones: the check ran on a day of that number.
    bool CheckedOn(int day) const;
    // Stores `day` as the day of the last check. False when it could not be
    // written.
    bool RecordDay(int day) const;

  private:
    std::string m_dayValue;
    DayOfMonthSource m_dayOfMonth;
};
