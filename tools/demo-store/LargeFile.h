#pragma once
// The large file of the store pages, for download progress and benchmarks: a
// ZIP archive (it opens in an archive manager) of exactly the configured size,
// holding one stored text member of numbered 64-byte lines. Its bytes depend
// on the size only, so two stores make the same file. It is written to disk
// the first time it is asked for (a store that is never asked for it costs no
// disk), through a temporary file beside it, and written again when the file
// there has another size.

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace demostore {

class LargeFile {
  public:
    static constexpr std::uint64_t kDefaultSize = 128ULL << 20;
    static constexpr std::uint64_t kSmallestSize = 4096;
    static constexpr std::uint64_t kLargestSize = 2ULL << 30;

    explicit LargeFile(std::uint64_t size) : m_size(size) {}

    std::uint64_t Size() const { return m_size; }
    // Makes sure `path` holds the file; a second caller waits for the first.
    // False with `error` when it cannot be written. Runs on the calling
    // request's worker thread (the first request waits while it is written).
    bool Ensure(const std::string& path, std::string& error);

    // "134217728", "64K", "128M", "1G" (binary multiples), within the
    // smallest and largest size.
    static std::optional<std::uint64_t> ParseSize(std::string_view text);
    // Writes the archive of `size` bytes (at least kSmallestSize) into the
    // empty file `fd`, with a bounded buffer.
    static bool WriteArchive(int fd, std::uint64_t size);

  private:
    std::mutex m_mutex;
    const std::uint64_t m_size;
};

}  // namespace demostore
