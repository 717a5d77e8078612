#include "config/CompoundFile.h"

#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-memory.h>
#include <gsf/gsf-input-stdio.h>
#include <gsf/gsf-input.h>
#include <gsf/gsf-utils.h>

#include <cstdio>
#include <mutex>

#include "platform/os/FileIo.h"
#include "platform/os/Text.h"

namespace {

struct GObjectUnref {
    void operator()(void* object) const {
        if (object != nullptr) {
            g_object_unref(object);
        }
    }
};
using InputRef = std::unique_ptr<GsfInput, GObjectUnref>;

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
    // block the reading thread or never end.
    os::UniqueFd fd = os::OpenRegularFile(path);
    FILE* stream = fd.Valid() ? fdopen(fd.Get(), "rb") : nullptr;
    if (stream == nullptr) {
        return nullptr;
    }
    fd.Release();                                                              // the stream owns it now
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
        if (childName != nullptr && os::AsciiEqualsIgnoreCase(childName, name)) {
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
