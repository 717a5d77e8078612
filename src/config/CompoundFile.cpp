#include "config/CompoundFile.h"

#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-memory.h>
#include <gsf/gsf-input-stdio.h>
#include <gsf/gsf-input.h>
#include <gsf/gsf-utils.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <mutex>

namespace {

struct GObjectUnref {
    void operator()(void* object) const {
        if (object != nullptr) {
            g_object_unref(object);
        }
    }
};
using InputRef = std::unique_ptr<GsfInput, GObjectUnref>;

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) {
            return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

// A root-storage child that is a stream: storages report a child count of 0
// or more, streams report -1.
bool IsStream(GsfInput* child) {
    return gsf_infile_num_children(GSF_INFILE(child)) < 0;
}

GsfInfile* OpenOle(GsfInput* source) {
    if (source == nullptr) {
        return nullptr;
    }
    GError* error = nullptr;
    GsfInfile* root = gsf_infile_msole_new(source, &error);
    g_clear_error(&error);
    g_object_unref(source);  // the root storage keeps its own reference
    return root;
}

}  // namespace

void EnsureGsfInitialised() {
    static std::once_flag once;
    std::call_once(once, [] { gsf_init(); });
}

std::unique_ptr<CompoundFile> CompoundFile::Open(const std::string& path) {
    EnsureGsfInitialised();
    // Only a regular file is read: a pipe or a device at that path would
    // block the reading thread or never end. Opening without blocking and
    // checking the opened file leaves no gap for the path to change between.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    struct stat info {};
    FILE* stream = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) ? fdopen(fd, "rb") : nullptr;
    if (stream == nullptr) {
        close(fd);
        return nullptr;
    }
    GsfInput* source = gsf_input_stdio_new_FILE(path.c_str(), stream, FALSE);  // owns `stream` on success
    if (source == nullptr) {
        fclose(stream);
        return nullptr;
    }
    GsfInfile* root = OpenOle(source);
    return root != nullptr ? std::unique_ptr<CompoundFile>(new CompoundFile(root)) : nullptr;
}

std::unique_ptr<CompoundFile> CompoundFile::OpenMemory(std::span<const std::uint8_t> bytes) {
    EnsureGsfInitialised();
    GsfInput* source = gsf_input_memory_new(bytes.data(), static_cast<gsf_off_t>(bytes.size()), FALSE);
    GsfInfile* root = OpenOle(source);
    return root != nullptr ? std::unique_ptr<CompoundFile>(new CompoundFile(root)) : nullptr;
}

CompoundFile::~CompoundFile() {
    g_object_unref(m_root);
}

CompoundFile::StreamStatus CompoundFile::ReadStream(std::string_view name, std::size_t limitBytes,
                                                    std::vector<std::uint8_t>& out) const {
    out.clear();
    InputRef child;
    const int count = gsf_infile_num_children(m_root);
    for (int i = 0; i < count && !child; ++i) {
        const char* childName = gsf_infile_name_by_index(m_root, i);
        if (childName != nullptr && EqualsIgnoringAsciiCase(childName, name)) {
            child.reset(gsf_infile_child_by_index(m_root, i));
        }
    }
    if (!child || !IsStream(child.get())) {
        return StreamStatus::Missing;
    }
    const gsf_off_t size = gsf_input_size(child.get());
    if (size <= 0) {
        return StreamStatus::Empty;
    }
    if (static_cast<std::uint64_t>(size) >= limitBytes) {
        return StreamStatus::TooLarge;
    }
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    if (gsf_input_read(child.get(), bytes.size(), bytes.data()) == nullptr) {
        return StreamStatus::ReadError;
    }
    out = std::move(bytes);
    return StreamStatus::Ok;
}

std::vector<std::string> CompoundFile::StreamNames() const {
    std::vector<std::string> names;
    const int count = gsf_infile_num_children(m_root);
    for (int i = 0; i < count; ++i) {
        InputRef child(gsf_infile_child_by_index(m_root, i));
        const char* childName = gsf_infile_name_by_index(m_root, i);
        if (child && childName != nullptr && IsStream(child.get())) {
            names.emplace_back(childName);
        }
    }
    return names;
}
