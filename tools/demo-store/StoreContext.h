#pragma once
// What every service of the demo store shares: the data folder, the arrival
// log, the fault table, the users, the served files (and the files handed
// from handlers to the server), the large file and the bound ports.

#include <array>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

#include "demo-store/ArrivalLog.h"
#include "demo-store/FaultTable.h"
#include "demo-store/LargeFile.h"
#include "demo-store/ReplyBody.h"
#include "demo-store/ServedFiles.h"
#include "demo-store/ServiceCatalog.h"
#include "demo-store/UserDirectory.h"

namespace demostore {

struct StoreContext {
    explicit StoreContext(const std::string& dir, std::uint64_t largeFileSize = LargeFile::kDefaultSize)
        : dataDir(dir), users(dir), files(dir), largeFile(largeFileSize) {}

    std::string dataDir;
    ArrivalLog log;
    FaultTable faults;
    UserDirectory users;
    ServedFiles files;
    FileReplies replies;
    LargeFile largeFile;
    // Set once every port is bound, before the first request is served.
    std::array<int, kAllServices.size()> ports{};
    int adminPort = 0;

    int Port(Service service) const { return ports[static_cast<std::size_t>(service)]; }
    // "https://127.0.0.1:47801" and the like.
    std::string BaseUrl(Service service) const {
        return std::string(ServiceUsesTls(service) ? "https://" : "http://") +
               "127.0.0.1:" + std::to_string(Port(service));
    }

    // One line on standard output, whole even when services print at once.
    void Print(const std::string& line) {
        std::lock_guard lock(m_printMutex);
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }

  private:
    std::mutex m_printMutex;
};

}  // namespace demostore
