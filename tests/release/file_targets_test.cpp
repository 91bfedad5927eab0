// What `lumivor render` does to the files it is told to write: devices, pipes and links are
// written into, protection is honoured, other names, owner and mode are kept, and a SIGTERM
// during a save leaves no temporary.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr uid_t kNobody = 65534;

struct Folder {  // private to the process
    const std::string path = testing::TempDir() + "lumivor_targets_" + std::to_string(getpid());
    Folder() {
        fs::create_directories(path);
        chmod(path.c_str(), 0777);  // a test running as another user writes here too
    }
    ~Folder() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    std::string operator/(const std::string& name) const { return path + "/" + name; }
    long Entries(const std::string& sub = "") const {
        return std::distance(fs::directory_iterator(path + "/" + sub), {});
    }
} const dir;

std::string Read(const std::string& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void Write(const std::string& p, const std::string& text) {
    std::ofstream(p) << text;
}

// Opens a FIFO for reading without waiting for a writer and so that a reader never
// waits for one either: what was written is taken by Drain, which closes it.
int OpenFifo(const std::string& path) {
    return open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
}

std::string Drain(int fd) {
    std::string got;
    char buf[4096];
    for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;) got.append(buf, static_cast<size_t>(n));
    close(fd);
    return got;
}

ino_t Inode(const std::string& p) {
    struct stat st {};
    stat(p.c_str(), &st);
    return st.st_ino;
}

// Starts `lumivor render` with args, its output and errors into files of the folder; as user
// nobody when `other_user` (the child exits 120 when it cannot be).
pid_t Start(std::vector<std::string> args, bool other_user = false) {
    args.insert(args.begin(), {"lumivor", "render"});
    const pid_t pid = fork();
    if (pid != 0) return pid;
    if (!std::freopen((dir / "stdout").c_str(), "w", stdout) ||
        !std::freopen((dir / "stderr").c_str(), "w", stderr))
        _exit(121);
    if (other_user && (setgid(kNobody) != 0 || setuid(kNobody) != 0)) _exit(120);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(LUMIVOR_BINARY_DIR "/cli/lumivor", argv.data());
    _exit(127);
}

int Wait(pid_t pid) {  // the exit status, minus the signal number after a signal
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFSIGNALED(status) ? -WTERMSIG(status) : WEXITSTATUS(status);
}

// A small render of two ticks without OpenGL (its PNG is the display habitat) with
// more arguments; its exit status.
int Render(std::vector<std::string> args, bool other_user = false) {
    args.insert(args.begin(), {"--no-gl", "--ticks", "2", "--size", "48x32"});
    return Wait(Start(args, other_user));
}

bool Running(pid_t pid) {
    siginfo_t info{};
    return waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           info.si_pid == 0;
}

bool IsPNG(const std::string& bytes) {
    return bytes.rfind("\x89PNG\r\n\x1a\n", 0) == 0;
}
bool IsHabitat(const std::string& bytes) {
    return bytes.rfind("P6\n#quib habitat\n48 32\n", 0) == 0;
}

TEST(RenderTargets, DevicesPipesAndLinksAreWrittenIntoNotReplaced) {
    const std::string fifo = dir / "picture.fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0666), 0);
    const int reader = OpenFifo(fifo);  // the picture fits in the pipe's buffer
    EXPECT_EQ(Render({"--png", fifo}), 0) << Read(dir / "stderr");
    EXPECT_TRUE(IsPNG(Drain(reader)));
    EXPECT_TRUE(fs::is_fifo(fifo));

    fs::create_directory(dir / "real");
    fs::create_symlink("real/p.png", dir / "p.link");
    fs::create_symlink("real/h.ppm", dir / "h.link");
    EXPECT_EQ(Render({"--png", dir / "p.link", "--habitat", dir / "h.link"}), 0);
    EXPECT_TRUE(fs::is_symlink(dir / "p.link") && fs::is_symlink(dir / "h.link"));
    EXPECT_TRUE(IsPNG(Read(dir / "real/p.png")));
    EXPECT_TRUE(IsHabitat(Read(dir / "real/h.ppm")));

    const std::string dev = dir / "null";
    if (mknod(dev.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0) {
        GTEST_SKIP() << "device part skipped: mknod needs root";
    }
    // A file system mounted nodev (a tmpfs /tmp often is) makes nodes that cannot be opened.
    const int probe = open(dev.c_str(), O_WRONLY | O_CLOEXEC);
    if (probe < 0)
        GTEST_SKIP() << "device part skipped: a device node in " << dir.path
                     << " cannot be opened: " << std::strerror(errno);
    close(probe);
    EXPECT_EQ(Render({"--png", dev, "--habitat", dev}), 0);
    EXPECT_TRUE(fs::is_character_file(dev));
}

// Other names of a file, its owner and its mode survive a save; a file its owner protected is
// refused with the reason; a writable file in a closed folder is written in place.
TEST(RenderTargets, ProtectionLinksOwnerAndModeAreKept) {
    const std::string a = dir / "a.png", b = dir / "b.png", h = dir / "h.ppm";
    Write(a, "old");
    fs::create_hard_link(a, b);
    Write(h, "old");
    ASSERT_EQ(chmod(h.c_str(), 0604), 0);
    EXPECT_EQ(Render({"--png", a, "--habitat", h}), 0);
    EXPECT_TRUE(IsPNG(Read(b)));
    struct stat st {};
    ASSERT_EQ(stat(h.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0604u);

    if (geteuid() != 0) GTEST_SKIP() << "the rest needs root to act as user nobody";
    const std::string prot = dir / "prot.ppm", closed = dir / "closed",
                      open_file = closed + "/o.ppm";
    Write(prot, "keep");
    ASSERT_EQ(chown(prot.c_str(), kNobody, kNobody), 0);
    ASSERT_EQ(chmod(prot.c_str(), 0444), 0);
    fs::create_directory(closed);
    Write(open_file, "old");
    ASSERT_EQ(chown(open_file.c_str(), kNobody, kNobody), 0);
    ASSERT_EQ(chmod(closed.c_str(), 0755), 0);
    const ino_t inode = Inode(open_file);

    EXPECT_EQ(Render({"--habitat", prot}, true), 1);
    EXPECT_NE(Read(dir / "stderr").find("Permission denied"), std::string::npos);
    EXPECT_EQ(Render({"--png", prot}, true), 1);
    EXPECT_NE(Read(dir / "stderr").find("Permission denied"), std::string::npos);
    EXPECT_EQ(Read(prot), "keep");
    EXPECT_EQ(Render({"--png", prot}), 0);  // root may: owner and mode stay
    ASSERT_EQ(stat(prot.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, kNobody);
    EXPECT_EQ(st.st_mode & 07777, 0444u);

    EXPECT_EQ(Render({"--habitat", open_file}, true), 0) << Read(dir / "stderr");
    EXPECT_TRUE(IsHabitat(Read(open_file)));
    EXPECT_EQ(Inode(open_file), inode);
    EXPECT_EQ(dir.Entries("closed"), 1);
}

// SIGTERM while the temporary exists: it is removed, the process ends by the signal, and the
// target is the old file.
TEST(RenderTargets, TerminatedSaveLeavesNoTemporary) {
    fs::create_directory(dir / "term");
    const std::string target = dir / "term/h.ppm";
    Write(target, "old");
    const pid_t pid =
        Start({"--no-gl", "--ticks", "1", "--size", "4000x4000", "--habitat", target});
    while (dir.Entries("term") < 2 && Running(pid)) usleep(200);
    kill(pid, SIGTERM);
    EXPECT_EQ(Wait(pid), -SIGTERM) << "the save ended before the signal";
    EXPECT_EQ(dir.Entries("term"), 1);
    EXPECT_EQ(Read(target), "old");
}

}  // namespace
