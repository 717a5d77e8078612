#pragma once
// The files the demo store serves as they are: the update service's version
// file and installer, the toolbox's version files, archives and installers,
// the user pictures. They live in DIR/files/<service>/<path>; the first start
// writes sample versions, later starts keep whatever is there, and the admin
// interface (or a test, or a person) may replace any of them.

#include <optional>
#include <string>

#include "demo-store/ServiceCatalog.h"

namespace demostore {

class ServedFiles {
  public:
    explicit ServedFiles(std::string dataDir);

    // Writes the sample files that are missing.
    bool EnsureSamples(std::string& error) const;
    // Writes the sample toolbox archive ("/vanto/toolbox.zip" of the toolbox
    // service), whose page entry opens `pageUrl` (the client-page host of
    // this start), unless an archive other than the sample the store wrote
    // last is in its place: the sample follows the store's ports at every
    // start, an archive put there by someone else is kept.
    bool EnsureToolboxArchive(const std::string& pageUrl, std::string& error) const;
    // The sample toolbox archive: "skin.xml" and the images it names.
    static std::string ToolboxSampleArchive(const std::string& pageUrl);

    // The file for a request path of a service, when the path is safe (no
    // "..", no empty or hidden segments) and names a regular file.
    std::optional<std::string> Find(Service service, const std::string& path) const;
    // Where a path of a service is kept; empty for an unsafe path.
    std::string PathFor(Service service, const std::string& path) const;
    bool Put(Service service, const std::string& path, const std::string& bytes, std::string& error) const;

    // The content type by the file name's extension.
    static std::string ContentType(const std::string& path);

  private:
    std::string m_root;
};

}  // namespace demostore
