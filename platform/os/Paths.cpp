#include "platform/os/Paths.h"

#include <dirent.h>
#include <pwd.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <string_view>
#include <vector>

namespace os {
namespace {

std::mutex g_overrideMutex;
std::string g_programFolderOverride;

std::string HomeFolder() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') {
        return home;
    }
    std::vector<char> buf(16384);
    passwd pw{};
    passwd* result = nullptr;
    if (getpwuid_r(getuid(), &pw, buf.data(), buf.size(), &result) == 0 && result != nullptr &&
        result->pw_dir != nullptr) {
        return result->pw_dir;
    }
    return "/tmp";
}

}  // namespace

std::string GetProgramPath() {
    std::vector<char> buf(4096);
    for (;;) {
        const ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
        if (n < 0) {
            return {};
        }
        if (static_cast<std::size_t>(n) < buf.size()) {
            return std::string(buf.data(), static_cast<std::size_t>(n));
        }
        buf.resize(buf.size() * 2);
    }
}

std::string GetProgramFolder() {
    {
        std::lock_guard lock(g_overrideMutex);
        if (!g_programFolderOverride.empty()) {
            return g_programFolderOverride;
        }
    }
    return ParentFolder(GetProgramPath());
}

void OverrideProgramFolder(std::string folder) {
    std::lock_guard lock(g_overrideMutex);
    while (folder.size() > 1 && folder.back() == '/') {
        folder.pop_back();
    }
    g_programFolderOverride = std::move(folder);
}

std::string GetConfigHome() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && xdg[0] == '/') {
        return xdg;
    }
    return PathJoin(HomeFolder(), ".config");
}

std::string GetUserDataFolder() {
    return PathJoin(GetConfigHome(), "vanto");
}

namespace {

// The folder of one line of user-dirs.dirs, `XDG_DOCUMENTS_DIR="$HOME/Dokumente"`:
// the value in double quotes, relative to the home folder or absolute.
std::string UserDirOfLine(std::string_view line, std::string_view name) {
    if (line.substr(0, name.size()) != name || line.substr(name.size(), 2) != "=\"")
        return {};
    std::string_view value = line.substr(name.size() + 2);
    const std::size_t quote = value.find('"');
    if (quote == std::string_view::npos)
        return {};
    value = value.substr(0, quote);
    if (value.substr(0, 6) == "$HOME/")
        return PathJoin(HomeFolder(), value.substr(6));
    return value.substr(0, 1) == "/" ? std::string(value) : std::string();
}

}  // namespace

std::string GetDocumentsFolder() {
    std::ifstream dirs(PathJoin(GetConfigHome(), "user-dirs.dirs"));
    std::string line;
    while (std::getline(dirs, line)) {
        const std::string folder = UserDirOfLine(line, "XDG_DOCUMENTS_DIR");
        if (!folder.empty())
            return IsFolder(folder) ? folder : HomeFolder();
    }
    return HomeFolder();
}

std::string GetMachineDataFolder() {
    const char* dir = std::getenv("VANTO_MACHINE_DIR");
    if (dir != nullptr && dir[0] != '\0') {
        return dir;
    }
    return "/var/lib/vanto";
}

bool CreateFolderWithParents(const std::string& folder) {
    if (folder.empty()) {
        return false;
    }
    struct stat st {};
    if (stat(folder.c_str(), &st) == 0) {
        return S_ISDIR(st.st_mode);
    }
    const std::string parent = ParentFolder(folder);
    if (parent != folder && parent != "." && parent != "/") {
        CreateFolderWithParents(parent);
    }
    if (mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST) {
        return stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    }
    return false;
}

std::string PathJoin(std::string_view folder, std::string_view name) {
    std::string out(folder);
    while (!name.empty() && name.front() == '/') {
        name.remove_prefix(1);
    }
    if (out.empty() || out.back() != '/') {
        out.push_back('/');
    }
    out.append(name);
    return out;
}

std::string_view FileNamePart(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string ParentFolder(std::string_view path) {
    while (path.size() > 1 && path.back() == '/') {
        path.remove_suffix(1);
    }
    const std::size_t slash = path.rfind('/');
    if (slash == std::string_view::npos) {
        return ".";
    }
    if (slash == 0) {
        return "/";
    }
    return std::string(path.substr(0, slash));
}

std::string ResolveCaseInsensitive(const std::string& path) {
    struct stat st {};
    if (path.empty() || lstat(path.c_str(), &st) == 0) {
        return path;
    }
    const std::string folder = ParentFolder(path);
    const std::string name(FileNamePart(path));
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) {
        return path;
    }
    // Several spellings may exist on a case-sensitive file system; pick the
    // smallest name so that every caller settles on the same file.
    std::string best;
    while (dirent* entry = readdir(dir)) {
        if (strcasecmp(entry->d_name, name.c_str()) == 0 && (best.empty() || best > entry->d_name)) {
            best = entry->d_name;
        }
    }
    closedir(dir);
    return best.empty() ? path : PathJoin(folder, best);
}

bool IsFolder(const std::string& path) {
    struct stat info {};
    return !path.empty() && stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace os
