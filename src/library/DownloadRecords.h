#pragma once
// The download records: per user account, which store documents the client
// downloaded and where the user saved each one, so that a second request
// opens the saved file and a document deleted on the store's downloads page
// loses its local file too. The records are the profile file
// "KD_template/downloaded.ini" in the per-user data folder: one section per
// user id (decimal text, empty when no id is known), one key per document id,
// the value the full path of the saved file. The file is the only copy: no
// cache, each operation reads or rewrites it afresh (atomically, see the
// profile functions). Failures are silent: an empty path, a record left as
// it was.
//
// UI thread (the download's completion and the page bridge), though nothing
// here depends on that.

#include <string>
#include <string_view>

// The templates folder: the per-user data folder joined with "KD_template".
std::string TemplatesFolder();
// Creates the templates folder (one level) when it is missing; true when it
// exists afterwards.
bool EnsureTemplatesFolder();
// The record file's path.
std::string DownloadRecordFile();

// The longest path a record holds: values are read into 260 characters.
inline constexpr std::size_t kMaxRecordPath = 259;

// The path stored for (user id, document id); empty when the file, the
// section or the key is missing, or the document id is empty.
std::string ReadDownloadRecord(std::string_view userId, std::string_view documentId);
// Creates or replaces the record. Refused (false, the file unchanged) when
// the document id is empty or the path is empty or longer than
// kMaxRecordPath UTF-16 code units: read back cut, it would name another
// file, which a later delete would remove.
bool WriteDownloadRecord(std::string_view userId, std::string_view documentId, std::string_view path);
// Deletes the record; a missing one leaves the file as it was.
bool RemoveDownloadRecord(std::string_view userId, std::string_view documentId);
