#include "platform/os/FileIo.h"

#include "support/Sandbox.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <dirent.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <string>

namespace {

class FileIo : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(::mkdir(Folder().c_str(), 0700), 0); }
    std::string Folder() const { return m_sandbox.Root() + "/files"; }
    std::string Path(const std::string& name) const { return Folder() + "/" + name; }
    static void Write(const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    std::size_t EntriesInFolder() const {
        std::size_t n = 0;
        DIR* dir = ::opendir(Folder().c_str());
        while (const dirent* entry = ::readdir(dir))
            n += std::string(entry->d_name) != "." && std::string(entry->d_name) != "..";
        ::closedir(dir);
        return n;
    }
    vtest::Sandbox m_sandbox;
};

TEST_F(FileIo, ReadsOnlyRegularFilesAndNeverBlocksOnAFifo) {
    Write(Path("plain"), std::string("a\0b", 3));
    EXPECT_EQ(os::ReadWholeFile(Path("plain")), std::string("a\0b", 3));
    EXPECT_EQ(os::ReadWholeFile(Path("missing")), std::nullopt);
    EXPECT_EQ(os::ReadWholeFile(Folder()), std::nullopt);
    // A FIFO without a writer would hold a blocking open for ever.
    ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0600), 0);
    EXPECT_EQ(os::ReadWholeFile(Path("fifo")), std::nullopt);
    EXPECT_FALSE(os::OpenRegularFile(Path("fifo")).Valid());
    EXPECT_FALSE(os::OpenRegularFile("/dev/null").Valid());
    // The descriptor handed out blocks again, like any ordinary open.
    const os::UniqueFd fd = os::OpenRegularFile(Path("plain"));
    ASSERT_TRUE(fd.Valid());
    EXPECT_EQ(::fcntl(fd.Get(), F_GETFL) & O_NONBLOCK, 0);
    EXPECT_NE(::fcntl(fd.Get(), F_GETFD) & FD_CLOEXEC, 0);
}

TEST_F(FileIo, ExtraFlagsRefuseALinkAndTheCapRefusesALargerFile) {
    Write(Path("data"), std::string(100, 'x'));
    ASSERT_EQ(::symlink(Path("data").c_str(), Path("link").c_str()), 0);
    EXPECT_FALSE(os::OpenRegularFile(Path("link"), O_NOFOLLOW).Valid());
    EXPECT_TRUE(os::OpenRegularFile(Path("link")).Valid());
    EXPECT_EQ(os::ReadWholeFile(Path("data"), 100)->size(), 100u);
    EXPECT_EQ(os::ReadWholeFile(Path("data"), 99), std::nullopt);
}

TEST_F(FileIo, ReplacesAtomicallyWithTheAskedModeAndLeavesNoTemporaryFile) {
    const std::string target = Path("state.ini");
    Write(target, "old");
    ASSERT_TRUE(os::ReplaceFileAtomically(target, "new bytes", 0600));
    EXPECT_EQ(os::ReadWholeFile(target), "new bytes");
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(EntriesInFolder(), 1u);

    // Only a file is replaced: as root a rename would turn a device or FIFO into a file.
    ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0600), 0);
    EXPECT_FALSE(os::ReplaceFileAtomically(Path("fifo"), "x"));
    ASSERT_EQ(::lstat(Path("fifo").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    ASSERT_EQ(::unlink(Path("fifo").c_str()), 0);
    EXPECT_TRUE(os::IsReplaceableTarget(Path("missing")));
    EXPECT_FALSE(os::IsReplaceableTarget("/dev/null"));

    // A folder that does not exist: nothing written, the caller is told.
    EXPECT_FALSE(os::ReplaceFileAtomically(Path("no/such/file"), "x"));
    // A folder in the target's place: the rename fails and the temporary file goes.
    ASSERT_EQ(::mkdir(Path("dir").c_str(), 0700), 0);
    Write(Path("dir/inner"), "keep");
    EXPECT_FALSE(os::ReplaceFileAtomically(Path("dir"), "x"));
    EXPECT_EQ(EntriesInFolder(), 2u);
}

// Everything but the user's own regular file is refused, with its reason,
// without blocking, and without O_TRUNC reaching what was refused.
TEST_F(FileIo, OpenOwnRegularFileRefusesLinksSpecialFilesAndFolders) {
    Write(Path("own"), "own bytes");
    ASSERT_EQ(::symlink(Path("own").c_str(), Path("link").c_str()), 0);
    ASSERT_EQ(::symlink(Path("made-through-link").c_str(), Path("dangling").c_str()), 0);
    ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0600), 0);
    const struct {
        const char* what;
        std::string path;
        int flags;
        int error;
    } cases[] = {
        {"link to an own file", Path("link"), O_WRONLY | O_TRUNC, ELOOP},
        {"dangling link", Path("dangling"), O_WRONLY | O_CREAT, ELOOP},
        {"FIFO without a writer", Path("fifo"), O_RDONLY, EINVAL},
        {"FIFO without a reader", Path("fifo"), O_WRONLY, ENXIO},
        {"device", "/dev/null", O_WRONLY | O_TRUNC, EINVAL},
        {"folder", Folder(), O_RDONLY, EISDIR},
        {"missing file", Path("missing"), O_RDONLY, ENOENT},
        {"existing file with O_EXCL", Path("own"), O_WRONLY | O_CREAT | O_EXCL, EEXIST},
        {"empty path", "", O_RDONLY, ENOENT},
    };
    for (const auto& c : cases) {
        errno = 0;
        EXPECT_FALSE(os::OpenOwnRegularFile(c.path, c.flags).Valid()) << c.what;
        EXPECT_EQ(errno, c.error) << c.what;
    }
    EXPECT_EQ(os::ReadWholeFile(Path("own")), "own bytes");
    EXPECT_FALSE(vtest::Exists(Path("made-through-link")));

    // The user's own file: a blocking descriptor, closed on exec, cut only now.
    const os::UniqueFd fd = os::OpenOwnRegularFile(Path("own"), O_WRONLY | O_TRUNC);
    ASSERT_TRUE(fd.Valid());
    EXPECT_EQ(::fcntl(fd.Get(), F_GETFL) & O_NONBLOCK, 0);
    EXPECT_NE(::fcntl(fd.Get(), F_GETFD) & FD_CLOEXEC, 0);
    EXPECT_EQ(os::ReadWholeFile(Path("own")), "");
}

// Another user's file is refused (EPERM) whoever runs the check. Root could
// write it, so O_TRUNC must not reach it either.
TEST_F(FileIo, OpenOwnRegularFileRefusesAnotherUsersFile) {
    constexpr uid_t kNobody = 65534;
    const std::string rootsFile = "/etc/passwd";  // root's, readable by everybody
    struct stat st {};
    ASSERT_EQ(::stat(rootsFile.c_str(), &st), 0);
    ASSERT_EQ(st.st_uid, 0u);
    const auto refusedAsNotOwn = [](const std::string& path, int flags) {
        errno = 0;
        return !os::OpenOwnRegularFile(path, flags).Valid() && errno == EPERM;
    };
    if (::geteuid() != 0) {
        EXPECT_TRUE(refusedAsNotOwn(rootsFile, O_RDONLY));
        return;
    }
    Write(Path("theirs"), "their bytes");
    ASSERT_EQ(::chown(Path("theirs").c_str(), kNobody, kNobody), 0);
    EXPECT_TRUE(refusedAsNotOwn(Path("theirs"), O_WRONLY | O_APPEND | O_TRUNC));
    EXPECT_EQ(os::ReadWholeFile(Path("theirs")), "their bytes");
    // The check as an ordinary user: a child that became nobody.
    const int result = vtest::RunInChild([&] {
        if (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) {
            return 2;
        }
        return refusedAsNotOwn(rootsFile, O_RDONLY) ? 0 : 1;
    });
    EXPECT_EQ(result, 0);
}

TEST_F(FileIo, TemporaryNamesAreHiddenSiblingsAndDiffer) {
    const std::string a = os::TemporarySiblingName(Path("file.dat"));
    const std::string b = os::TemporarySiblingName(Path("file.dat"));
    EXPECT_EQ(a.rfind(Path(".file.dat.tmp-"), 0), 0u);
    EXPECT_NE(a, b);
}

}  // namespace
