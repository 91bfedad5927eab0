// Nothing lost: a habitat (or BMP) save that cannot complete reports the
// failure and leaves the file it would have replaced exactly as it was. Tried
// on /dev/full, on a small file system that fills up, on a read-only folder,
// and with the saving process killed midway. The file-system cases mount a
// small tmpfs in a mount namespace of their own, so they need root (or the
// capability to mount); without it they are skipped with a message.

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "image/image.h"
#include "world/biotope.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

const std::string kLumivor = std::string(LUMIVOR_BINARY_DIR) + "/cli/lumivor";

std::string ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

std::vector<std::string> Entries(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d))
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
                names.push_back(e->d_name);
        closedir(d);
    }
    return names;
}

// A world whose habitat holds a pattern, for saving.
struct PatternWorld {
    Biotope world;
    explicit PatternWorld(unsigned long w, unsigned long h) {
        if (!world.CreateHabitat(w, h)) return;
        uint8_t* p = world.rgb_habitat.data;
        for (size_t i = 0; i < static_cast<size_t>(w) * h * 3; ++i)
            p[i] = static_cast<uint8_t>(i * 7 + i / 5);
    }
};

// A way of saving a file: the world's habitat file, or a BMP image.
struct Saver {
    const char* name;
    std::function<bool(const std::string& path, size_t side)> save;  // side x side picture
};

const Saver kSavers[] = {
    {"SaveHabitat",
     [](const std::string& path, size_t side) {
         PatternWorld w(side, side);
         return w.world.SaveHabitat(path.c_str(), false);
     }},
    {"Image::Save",
     [](const std::string& path, size_t side) {
         Image im;
         if (!im.Create(static_cast<uint32_t>(side), static_cast<uint32_t>(side), 24)) return false;
         for (size_t i = 0; i < static_cast<size_t>(im.pitch) * im.height; ++i)
             im.data[i] = static_cast<uint8_t>(i * 13);
         return im.Save(path.c_str(), true);
     }},
};

// Runs lumivor with `args`; returns its exit status (-1 on a signal) and its stderr.
int RunLumivor(const std::vector<std::string>& args, std::string* err) {
    const std::string err_path =
        ::testing::TempDir() + "lumivor_release_" + std::to_string(getpid()) + ".err";
    std::vector<std::string> argv_s = {kLumivor};
    argv_s.insert(argv_s.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argv_s) argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const int null_fd = open("/dev/null", O_WRONLY);
        const int err_fd = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(null_fd, 1);
        dup2(err_fd, 2);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    *err = ReadFile(err_path);
    unlink(err_path.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<std::string> RenderArgs(const std::string& habitat, int side) {
    const std::string size = std::to_string(side) + "x" + std::to_string(side);
    return {"render", "--no-gl", "--seed", "1765000000", "--ticks",
            "3",      "--size",  size,     "--habitat",  habitat};
}

// Gives this process mount namespace of its own, so that what the tests mount
// is private and goes away with the process. False when mounting is not allowed.
bool OwnMountNamespace() {
    static const bool ok = unshare(CLONE_NEWNS) == 0 &&
                           mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    return ok;
}

class SaveFailure : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = ::testing::TempDir() + "lumivor_release_" + std::to_string(getpid());
        mkdir(dir_.c_str(), 0755);
    }
    void TearDown() override {
        if (mounted_) umount2(dir_.c_str(), MNT_DETACH);
        for (const std::string& e : Entries(dir_)) unlink((dir_ + "/" + e).c_str());
        rmdir(dir_.c_str());
    }

    // A tmpfs of `kib` KiB on the test folder; false (and a skip) without the right to mount.
    bool MountTmpfs(int kib) {
        const std::string options = "size=" + std::to_string(kib) + "k";
        if (!OwnMountNamespace() ||
            mount("tmpfs", dir_.c_str(), "tmpfs", 0, options.c_str()) != 0) {
            return false;
        }
        mounted_ = true;
        return true;
    }

    // Fills the file system of the test folder until at most `left` bytes are free.
    void FillUp(size_t left) {
        const int fd = open((dir_ + "/filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        std::vector<char> block(4096, 'f');
        size_t written = 0;
        while (write(fd, block.data(), block.size()) > 0) written += block.size();
        close(fd);
        // Give back all but the last `left` bytes' worth of blocks.
        ASSERT_GT(written, left);
        ASSERT_EQ(truncate((dir_ + "/filler").c_str(), static_cast<off_t>(written - left)), 0);
    }

    // A good file at `path`, saved by `saver` from a small picture.
    std::string PlaceGoodFile(const Saver& saver, const std::string& path) {
        EXPECT_TRUE(saver.save(path, 8));
        const std::string good = ReadFile(path);
        EXPECT_FALSE(good.empty());
        return good;
    }

    void ExpectOnlyEntries(std::vector<std::string> want) {
        std::vector<std::string> got = Entries(dir_);
        std::sort(got.begin(), got.end());
        std::sort(want.begin(), want.end());
        EXPECT_EQ(got, want) << "a temporary file was left behind";
    }

    std::string dir_;
    bool mounted_ = false;
};

TEST_F(SaveFailure, DevFullReportsTheFailure) {
    for (const Saver& saver : kSavers) {
        SCOPED_TRACE(saver.name);
        testing::internal::CaptureStderr();
        EXPECT_FALSE(saver.save("/dev/full", 64));
        EXPECT_NE(testing::internal::GetCapturedStderr(), "");
    }
    std::string err;
    EXPECT_EQ(RunLumivor(RenderArgs("/dev/full", 64), &err), 1);
    EXPECT_NE(err.find("cannot save /dev/full"), std::string::npos) << err;
}

TEST_F(SaveFailure, FullFileSystemKeepsTheOldFile) {
    if (!MountTmpfs(512)) GTEST_SKIP() << "cannot mount a tmpfs here (needs root or CAP_SYS_ADMIN)";
    const std::string path = dir_ + "/picture";
    for (const Saver& saver : kSavers) {
        SCOPED_TRACE(saver.name);
        const std::string good = PlaceGoodFile(saver, path);
        FillUp(64 * 1024);
        testing::internal::CaptureStderr();
        EXPECT_FALSE(saver.save(path, 200));  // 120 kB: more than is free
        EXPECT_NE(testing::internal::GetCapturedStderr(), "");
        EXPECT_TRUE(ReadFile(path) == good) << "the old file was damaged";
        ExpectOnlyEntries({"filler", "picture"});
        unlink((dir_ + "/filler").c_str());
    }

    // The same through the command line.
    const std::string habitat = dir_ + "/habitat.ppm";
    const std::string good = PlaceGoodFile(kSavers[0], habitat);
    FillUp(64 * 1024);
    std::string err;
    EXPECT_EQ(RunLumivor(RenderArgs(habitat, 200), &err), 1);
    EXPECT_NE(err.find("cannot save " + habitat), std::string::npos) << err;
    EXPECT_TRUE(ReadFile(habitat) == good) << "the old file was damaged";
    ExpectOnlyEntries({"filler", "habitat.ppm", "picture"});
}

TEST_F(SaveFailure, ReadOnlyFolderKeepsTheOldFile) {
    const bool root = geteuid() == 0;
    if (root && !MountTmpfs(512))
        GTEST_SKIP() << "as root, a read-only folder needs a read-only mount, and mounting "
                        "is not allowed here";
    const std::string path = dir_ + "/picture";
    const std::string habitat = dir_ + "/habitat.ppm";
    std::vector<std::string> good;
    for (size_t i = 0; i < std::size(kSavers); ++i)
        good.push_back(PlaceGoodFile(kSavers[i], i == 0 ? habitat : path));
    if (root) {
        ASSERT_EQ(mount(nullptr, dir_.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0)
            << std::strerror(errno);
    } else {
        ASSERT_EQ(chmod(dir_.c_str(), 0555), 0);
    }

    for (size_t i = 0; i < std::size(kSavers); ++i) {
        SCOPED_TRACE(kSavers[i].name);
        const std::string& target = i == 0 ? habitat : path;
        testing::internal::CaptureStderr();
        EXPECT_FALSE(kSavers[i].save(target, 32));
        EXPECT_NE(testing::internal::GetCapturedStderr(), "");
        EXPECT_TRUE(ReadFile(target) == good[i]) << "the old file was damaged";
    }
    std::string err;
    EXPECT_EQ(RunLumivor(RenderArgs(habitat, 32), &err), 1);
    EXPECT_NE(err.find("cannot save " + habitat), std::string::npos) << err;
    EXPECT_TRUE(ReadFile(habitat) == good[0]);
    ExpectOnlyEntries({"habitat.ppm", "picture"});

    if (root)
        mount(nullptr, dir_.c_str(), nullptr, MS_REMOUNT, nullptr);
    else
        chmod(dir_.c_str(), 0755);
}

// True when process `pid` has a file open in `dir`.
bool WritesInto(pid_t pid, const std::string& dir) {
    const std::string fds = "/proc/" + std::to_string(pid) + "/fd";
    for (const std::string& fd : Entries(fds)) {
        char target[4096];
        const ssize_t n = readlink((fds + "/" + fd).c_str(), target, sizeof target - 1);
        if (n > 0 && std::string(target, static_cast<size_t>(n)).rfind(dir + "/", 0) == 0)
            return true;
    }
    return false;
}

TEST_F(SaveFailure, SaveKilledMidwayLeavesTheOldFileOrTheWholeNewOne) {
    const std::string habitat = dir_ + "/habitat.ppm";
    const std::string good = PlaceGoodFile(kSavers[0], habitat);
    const int side = 4000;
    const size_t new_size = 3 + 14 + 10 + 4 + static_cast<size_t>(side) * side * 3;
    int killed_while_writing = 0;
    for (int attempt = 0; attempt < 6; ++attempt) {
        SCOPED_TRACE("attempt " + std::to_string(attempt));
        std::vector<std::string> args = {kLumivor,     "render",    "--no-gl", "--seed",
                                         "1765000000", "--ticks",   "1",       "--size",
                                         "4000x4000",  "--habitat", habitat};
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        const pid_t pid = fork();
        if (pid == 0) {
            const int null_fd = open("/dev/null", O_WRONLY);
            dup2(null_fd, 1);
            dup2(null_fd, 2);
            execv(argv[0], argv.data());
            _exit(127);
        }
        ASSERT_GT(pid, 0);
        // Wait until it has a file open in the folder, then let it write a little.
        const auto limit = Clock::now() + std::chrono::seconds(60);
        bool writing = false;
        while (!(writing = WritesInto(pid, dir_)) && Clock::now() < limit &&
               waitpid(pid, nullptr, WNOHANG) == 0)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        std::this_thread::sleep_for(milliseconds(attempt * 4));
        writing = writing && WritesInto(pid, dir_);
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        killed_while_writing += writing;

        const std::string now = ReadFile(habitat);
        EXPECT_TRUE(now == good || now.size() == new_size)
            << "a killed save left " << now.size() << " bytes";
        // SIGKILL leaves no chance to remove a partial temporary file: clear it up.
        for (const std::string& e : Entries(dir_))
            if (e != "habitat.ppm") unlink((dir_ + "/" + e).c_str());
    }
    EXPECT_GT(killed_while_writing, 0) << "no kill landed while the file was written";
    std::printf("release: %d of 6 saves killed while writing\n", killed_while_writing);
}

}  // namespace
