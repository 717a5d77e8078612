#include "CompoundFileWriter.h"

#include "config/CompoundFile.h"

#include <fcntl.h>
#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-memory.h>
#include <gsf/gsf-output.h>
#include <gsf/gsf-utils.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

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

bool WriteAll(int fd, const std::vector<std::uint8_t>& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

bool WriteCompoundFile(const std::string& path, const StreamList& streams, std::string& error) {
    std::vector<std::uint8_t> image;
    if (!BuildImage(streams, image, error)) {
        return false;
    }
    std::string temp = path + ".tmp-XXXXXX";
    const int fd = mkstemp(temp.data());
    if (fd < 0) {
        error = "cannot create a temporary file beside " + path + ": " + std::strerror(errno);
        return false;
    }
    // Language files are installed for every user to read.
    const mode_t mask = umask(0);
    umask(mask);
    bool ok = fchmod(fd, 0666 & ~mask) == 0 && WriteAll(fd, image) && fsync(fd) == 0;
    const int savedErrno = errno;
    ok = close(fd) == 0 && ok;
    if (ok && rename(temp.c_str(), path.c_str()) == 0) {
        return true;
    }
    error = "cannot write " + path + ": " + std::strerror(ok ? errno : savedErrno);
    unlink(temp.c_str());
    return false;
}
