#include "account/HeadPicture.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "library/FileFetch.h"
#include "platform/os/DebugPrint.h"
#include "platform/os/FileIo.h"
#include "platform/os/Paths.h"

namespace {

// The plain file fetch's side file of `target` (see CFileFetch).
std::string SideFile(const std::string& target) {
    return target + ".upd";
}

}  // namespace

std::string HeadPicture::UserPicturePath() {
    return os::PathJoin(os::GetUserDataFolder(), "pic_head.jpg");
}

std::unique_ptr<HeadPicture> HeadPicture::Fetch(const std::string& url, const std::string& picturePath,
                                                const os::Event* stop) {
    // The fetch itself refuses addresses other than http and https.
    const std::string fetchedPath = os::TemporarySiblingName(picturePath);
    CFileFetch fetch;
    fetch.SetSizeCap(kSizeCap);
    fetch.SetStallLimit(kStallLimit);
    fetch.SetOverallLimit(kOverallLimit);
    fetch.SetStopEvent(stop);
    if (fetch.Fetch(url, fetchedPath, CREATE_ALWAYS) != S_OK) {
        // The names are this attempt's own: nobody else wrote them.
        ::unlink(SideFile(fetchedPath).c_str());
        ::unlink(fetchedPath.c_str());
        DebugPrint("user picture not fetched\n");
        return nullptr;
    }
    return std::unique_ptr<HeadPicture>(new HeadPicture(fetchedPath, picturePath));
}

HeadPicture::~HeadPicture() {
    if (!m_placed) {
        ::unlink(m_fetchedPath.c_str());
    }
}

bool HeadPicture::PutInPlace() {
    if (m_placed) {
        return true;
    }
    if (!os::IsReplaceableTarget(m_picturePath) ||
        std::rename(m_fetchedPath.c_str(), m_picturePath.c_str()) != 0) {
        return false;
    }
    m_placed = true;
    return true;
}

bool HeadPicture::IsShowable(const std::string& picturePath) {
    struct stat st {};
    return ::lstat(picturePath.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}
