#pragma once
// Helpers of the UI library's model tests: a notification recorder and an
// in-memory zip writer (real archives, written with libzip).

#include "platform/duilib/UIManager.h"

#include <zip.h>

#include <map>
#include <string>
#include <vector>

namespace duitest {

struct Note {
    std::string type;
    std::string sender;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    bool operator==(const Note&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const Note& note) {
    return out << note.type << "(" << note.sender << "," << note.wParam << "," << note.lParam << ")";
}

class Recorder : public DuiLib::INotifyUI {
  public:
    void Notify(DuiLib::TNotifyUI& msg) override {
        notes.push_back(
            Note{msg.sType, msg.pSender ? msg.pSender->GetName() : std::string(), msg.wParam, msg.lParam});
    }
    std::vector<std::string> Types() const {
        std::vector<std::string> types;
        for (const Note& note : notes)
            types.push_back(note.type + ":" + note.sender);
        return types;
    }
    std::vector<Note> notes;
};

// Writes a zip archive of `files` (name -> bytes) into memory. With `store`
// the entries are not compressed, so tests can patch their headers.
inline std::string MakeZip(const std::vector<std::pair<std::string, std::string>>& files,
                           bool store = false) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* out = zip_source_buffer_create(nullptr, 0, 0, &error);
    zip_source_keep(out);
    zip_t* zip = zip_open_from_source(out, ZIP_TRUNCATE, &error);
    for (const auto& [name, bytes] : files) {
        zip_source_t* data = zip_source_buffer(zip, bytes.data(), bytes.size(), 0);
        const zip_int64_t index = zip_file_add(zip, name.c_str(), data, ZIP_FL_ENC_UTF_8);
        if (store)
            zip_set_file_compression(zip, static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0);
    }
    zip_close(zip);
    std::string result;
    zip_stat_t stat;
    zip_source_stat(out, &stat);
    zip_source_open(out);
    result.resize(stat.size);
    zip_source_read(out, result.data(), stat.size);
    zip_source_close(out);
    zip_source_free(out);
    zip_error_fini(&error);
    return result;
}

}  // namespace duitest
