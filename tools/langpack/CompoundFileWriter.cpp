#include "CompoundFileWriter.h"

#include "config/CompoundFile.h"

#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-memory.h>
#include <gsf/gsf-output.h>
#include <gsf/gsf-utils.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string_view>

#include "platform/os/FileIo.h"

namespace {

struct GObjectUnref {
    void operator()(void* object) const {
        if (object != nullptr) {
            g_object_unref(object);
        }
    }
};

// Builds the compound file image in memory.
bool BuildImage(const StreamList& streams, std::vector<std::uint8_t>& image, std::string& error) {
    EnsureGsfInitialised();
    std::unique_ptr<GsfOutput, GObjectUnref> sink(gsf_output_memory_new());
    std::unique_ptr<GsfOutfile, GObjectUnref> root(gsf_outfile_msole_new(sink.get()));
    if (!root) {
        error = "cannot create the compound file writer";
        return false;
    }
    bool ok = true;
    for (const auto& [name, bytes] : streams) {
        std::unique_ptr<GsfOutput, GObjectUnref> child(
            gsf_outfile_new_child(root.get(), name.c_str(), FALSE));
        ok = child && (bytes.empty() || gsf_output_write(child.get(), bytes.size(), bytes.data())) &&
             gsf_output_close(child.get()) && ok;
    }
    ok = gsf_output_close(GSF_OUTPUT(root.get())) && ok;
    // Closing the root storage closes its sink as well.
    ok = (gsf_output_is_closed(sink.get()) || gsf_output_close(sink.get())) && ok;
    if (!ok) {
        error = "the compound file writer failed";
        return false;
    }
    const guint8* data = gsf_output_memory_get_bytes(GSF_OUTPUT_MEMORY(sink.get()));
    const gsf_off_t size = gsf_output_size(sink.get());
    image.assign(data, data + size);
    return true;
}

}  // namespace

bool WriteCompoundFile(const std::string& path, const StreamList& streams, std::string& error) {
    std::vector<std::uint8_t> image;
    if (!BuildImage(streams, image, error)) {
        return false;
    }
    // Language files are installed for every user to read: the umask decides
    // the mode, as for any new file.
    const std::string_view bytes(reinterpret_cast<const char*>(image.data()), image.size());
    if (!os::ReplaceFileAtomically(path, bytes)) {
        error = "cannot write " + path + " through a temporary file beside it: " + std::strerror(errno);
        return false;
    }
    return true;
}
