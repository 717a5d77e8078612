#pragma once
// Writes a zip archive in memory with stored (uncompressed) entries: enough
// for the toolbox archive the store serves, which any zip reader must open.

#include <cstdint>
#include <string>
#include <vector>

namespace demostore {

class ZipWriter {
  public:
    // Names use "/" between folders; the bytes are stored as they are.
    void Add(const std::string& name, const std::string& bytes);
    // The whole archive: local entries, central directory, end record.
    std::string Finish() const;

  private:
    struct Entry {
        std::string name;
        std::string bytes;
        std::uint32_t crc = 0;
    };
    std::vector<Entry> m_entries;
};

}  // namespace demostore
