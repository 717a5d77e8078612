#pragma once
// Read access to an OLE compound (structured-storage) file through libgsf:
// the streams of its root storage, by name. Every failure is a result, never
// an exception; a damaged file reads as missing streams or fails to open.
//
// Safe to use from several threads as long as each thread uses its own
// object; libgsf is initialised once per process on first use.

#include <gsf/gsf-fwd.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Initialises libgsf once per process; safe to call from any thread. Every
// user of libgsf calls it first (the reader below does so itself).
void EnsureGsfInitialised();

class CompoundFile {
  public:
    enum class StreamStatus { Ok, Missing, Empty, TooLarge, ReadError };

    // Opens the file read-only. Null when it cannot be opened or is not a
    // compound file (a folder, a text file, a truncated header...).
    static std::unique_ptr<CompoundFile> Open(const std::string& path);

    // Opens a compound file image held in memory; the bytes must outlive the
    // returned object.
    static std::unique_ptr<CompoundFile> OpenMemory(std::span<const std::uint8_t> bytes);

    ~CompoundFile();
    CompoundFile(const CompoundFile&) = delete;
    CompoundFile& operator=(const CompoundFile&) = delete;

    // Reads the whole stream `name` of the root storage into `out` when it
    // holds at least one and fewer than `limitBytes` bytes. The name is found
    // without regard to ASCII letter case, as the Windows storage functions
    // do; a storage of that name is not a stream. `out` is left empty unless
    // the result is Ok.
    StreamStatus ReadStream(std::string_view name, std::size_t limitBytes,
                            std::vector<std::uint8_t>& out) const;

    // Names of the streams (not storages) in the root storage, in stored order.
    std::vector<std::string> StreamNames() const;

  private:
    explicit CompoundFile(GsfInfile* root) : m_root(root) {}

    GsfInfile* m_root;  // owned reference
};
