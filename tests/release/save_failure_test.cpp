// Nothing lost: a habitat save by `lumivor render` that cannot complete (full device, full file
// system, process killed midway) leaves the file it would have replaced as it was.
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

namespace fs = std::filesystem;

struct Folder {  // private to the process; a tmpfs mounted on it goes with it
    const std::string path = testing::TempDir() + "lumivor_release_" + std::to_string(getpid());
    const std::string habitat = path + "/habitat.ppm";
    Folder() { fs::create_directories(path); }
    ~Folder() {
        umount2(path.c_str(), MNT_DETACH);
        fs::remove_all(path);
    }
    long Entries() const { return std::distance(fs::directory_iterator(path), {}); }
} const dir;

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Starts `lumivor render` of a side x side world that then saves its habitat to `path`.
pid_t Render(const std::string& path, int side) {
    const std::string size = std::to_string(side) + "x" + std::to_string(side);
    const pid_t pid = fork();
    if (pid == 0 && std::freopen("/dev/null", "w", stdout) && dup2(1, 2) == 2)
        execl(LUMIVOR_BINARY_DIR "/cli/lumivor", "lumivor", "render", "--no-gl", "--ticks", "1",
              "--size", size.c_str(), "--habitat", path.c_str(), static_cast<char*>(nullptr));
    if (pid == 0) _exit(127);
    return pid;
}

int Wait(pid_t pid) {  // the exit status, -1 after a signal
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Killed once its save has begun: the old file or the whole new one, never a part.
TEST(Release, SaveKilledMidwayKeepsTheOldFile) {
    ASSERT_EQ(Wait(Render(dir.habitat, 8)), 0);
    const std::string good = ReadFile(dir.habitat);
    const pid_t pid = Render(dir.habitat, 4000);
    while (dir.Entries() < 2 && ReadFile(dir.habitat) == good && !waitpid(pid, nullptr, WNOHANG))
        usleep(200);
    kill(pid, SIGKILL);
    EXPECT_EQ(Wait(pid), -1) << "the save ended before the kill";
    const std::string now = ReadFile(dir.habitat);
    EXPECT_TRUE(now == good || now.size() == 31u + 4000 * 4000 * 3) << now.size() << " bytes";
}

// /dev/full is written in place and fails; a 64 KiB file system cannot take a 120 KB habitat:
// the old file stays and no temporary is left.
TEST(Release, FullDeviceOrFileSystemKeepsTheOldFile) {
    EXPECT_EQ(Wait(Render("/dev/full", 64)), 1);
    EXPECT_TRUE(fs::is_character_file("/dev/full"));
    if (unshare(CLONE_NEWNS) != 0 ||
        mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("tmpfs", dir.path.c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here (needs CAP_SYS_ADMIN)";
    ASSERT_EQ(Wait(Render(dir.habitat, 8)), 0);
    const std::string good = ReadFile(dir.habitat);
    EXPECT_EQ(Wait(Render(dir.habitat, 200)), 1);
    EXPECT_EQ(ReadFile(dir.habitat), good);
    EXPECT_EQ(dir.Entries(), 1);
}

}  // namespace
