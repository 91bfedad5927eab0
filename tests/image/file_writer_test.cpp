// The file writer on a real file system: the early check, what it writes into, what it
// refuses, and what it leaves behind after a signal. What `lumivor render` does to devices,
// pipes, links and protected files is tested in tests/release.
#include "image/file_writer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "image/image.h"

namespace {

namespace fs = std::filesystem;

constexpr uid_t kNobody = 65534;

struct Folder {  // private to the process, emptied for each test
    std::string path = testing::TempDir() + "lumivor-writer-" + std::to_string(getpid());
    Folder() { fs::create_directories(path); }
    ~Folder() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    std::string operator/(const std::string& name) const { return path + "/" + name; }
    long Entries() const { return std::distance(fs::directory_iterator(path), {}); }
};

std::string Read(const std::string& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void Write(const std::string& p, const std::string& text) {
    std::ofstream(p) << text;
}

// Writes text through a FileWriter; "" when it succeeds, else the failed call and reason.
std::string Save(const std::string& path, const std::string& text) {
    FileWriter out;
    if (!out.Open(path.c_str()))
        return std::string(out.FailedCall()) + ": " + std::strerror(out.Error());
    std::fputs(text.c_str(), out.Stream());
    if (!out.Commit()) return std::string(out.FailedCall()) + ": " + std::strerror(out.Error());
    return "";
}

ino_t Inode(const std::string& p) {
    struct stat st {};
    stat(p.c_str(), &st);
    return st.st_ino;
}

// Runs f in a child process as user `nobody` (or as this user when not root) and
// gives its exit status; -1 when the user cannot be changed.
int AsOtherUser(const std::function<int()>& f) {
    const pid_t pid = fork();
    if (pid == 0) {
        if (geteuid() == 0 && (setgid(kNobody) != 0 || setuid(kNobody) != 0)) _exit(200);
        _exit(f());
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) != 200 ? WEXITSTATUS(status) : -1;
}

// What the render tests cannot reach: a link to no file yet gets its file and stays a link;
// the process's own descriptors are written where they stand (offset, append mode).
TEST(FileTargets, DanglingLinksAndOwnDescriptors) {
    Folder dir;
    fs::create_symlink("later", dir / "dangling");
    EXPECT_EQ(Save(dir / "dangling", "made"), "");
    EXPECT_TRUE(fs::is_symlink(dir / "dangling"));
    EXPECT_EQ(Read(dir / "later"), "made");

    // /dev/stdout and its kin: the open file is written into where it stands.
    Write(dir / "out", "0123456789");
    FILE* open_file = std::fopen((dir / "out").c_str(), "r+");
    ASSERT_NE(open_file, nullptr);
    const ino_t out = Inode(dir / "out");
    EXPECT_EQ(Save("/proc/self/fd/" + std::to_string(fileno(open_file)), "abc"), "");
    std::fclose(open_file);
    EXPECT_EQ(Inode(dir / "out"), out);
    EXPECT_EQ(Read(dir / "out"), "abc3456789") << "its offset, no truncation";
    // Standard output appending to a log, as after `>> log`: the picture goes after it.
    Write(dir / "log", "head\n");
    const pid_t pid = fork();
    if (pid == 0) {
        const int log = open((dir / "log").c_str(), O_WRONLY | O_APPEND);
        _exit(log >= 0 && dup2(log, 1) == 1 && Save("/dev/stdout", "tail").empty() ? 0 : 1);
    }
    int status = -1;
    waitpid(pid, &status, 0);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(Read(dir / "log"), "head\ntail");
    EXPECT_EQ(dir.Entries(), 4);
}

// Its owner cannot write a 0444 file: refused with the reason, content kept. A writable
// file in a folder the user cannot write is written in place.
TEST(FileTargets, ProtectionIsHonouredAndAClosedFolderIsWrittenInPlace) {
    Folder dir;
    const std::string prot = dir / "protected", open_file = dir / "closed/open";
    fs::create_directory(dir / "closed");
    Write(prot, "keep");
    Write(open_file, "old");
    const uid_t user = geteuid() == 0 ? kNobody : geteuid();
    ASSERT_EQ(chown(dir.path.c_str(), user, static_cast<gid_t>(-1)), 0);
    ASSERT_EQ(chown(prot.c_str(), user, static_cast<gid_t>(-1)), 0);
    ASSERT_EQ(chmod(prot.c_str(), 0444), 0);
    ASSERT_EQ(chown(open_file.c_str(), user, static_cast<gid_t>(-1)), 0);
    ASSERT_EQ(chmod((dir / "closed").c_str(), 0555), 0);
    const ino_t inode = Inode(open_file);
    const int status = AsOtherUser([&] {
        std::string reason;
        if (CheckWritable(prot.c_str(), &reason) || reason != std::strerror(EACCES)) return 1;
        if (Save(prot, "lost") != std::string("fopen: ") + std::strerror(EACCES)) return 2;
        if (!CheckWritable(open_file.c_str(), &reason)) return 3;
        if (CheckWritable((dir / "closed/new").c_str(), &reason)) return 4;
        if (Save(open_file, "new") != "") return 5;
        return 0;
    });
    if (status == -1) GTEST_SKIP() << "cannot run as another user here";
    EXPECT_EQ(status, 0);
    EXPECT_EQ(Read(prot), "keep");
    EXPECT_EQ(Read(open_file), "new");
    EXPECT_EQ(Inode(open_file), inode);
    EXPECT_EQ(fs::exists(dir / "closed/new"), false);
    chmod((dir / "closed").c_str(), 0755);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "closed"), {}), 1);
}

// A name of 250 characters saves (the temporary's name is short); a new file gets 0666 less
// the umask; failures name the call and reason and leave neither the file nor a temporary.
TEST(FileTargets, NewFilesLongNamesAndFailures) {
    Folder dir;
    const std::string long_name = dir / std::string(246, 'n') + ".bmp";
    Image im;
    ASSERT_TRUE(im.Create(3, 2, 24) && im.Clear());
    EXPECT_TRUE(im.Save(long_name.c_str(), true));
    EXPECT_EQ(Read(long_name).size(), 54u + 2 * 12);

    const mode_t old_mask = umask(027);
    EXPECT_EQ(Save(dir / "new", "x"), "");
    umask(old_mask);
    struct stat st {};
    ASSERT_EQ(stat((dir / "new").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);

    EXPECT_EQ(Save(dir / "no/such", "x"), std::string("fopen: ") + std::strerror(ENOENT));
    EXPECT_EQ(Save(dir.path, "x"), std::string("fopen: ") + std::strerror(EISDIR));
    EXPECT_EQ(Save("", "x"), std::string("fopen: ") + std::strerror(ENOENT));
    EXPECT_EQ(Save("/dev/full", "x"), std::string("fwrite: ") + std::strerror(ENOSPC));
    Write(dir / "keep", "old");
    {
        FileWriter out;
        ASSERT_TRUE(out.Open((dir / "keep").c_str()));
        std::fputs("half", out.Stream());
    }  // abandoned
    EXPECT_EQ(Read(dir / "keep"), "old");

    std::string reason;
    EXPECT_TRUE(CheckWritable((dir / "fresh").c_str(), &reason));
    EXPECT_FALSE(CheckWritable((dir / "no/such").c_str(), &reason));
    EXPECT_EQ(reason, std::strerror(ENOENT));
    EXPECT_FALSE(CheckWritable(dir.path.c_str(), &reason));
    EXPECT_EQ(reason, std::strerror(EISDIR));
    EXPECT_FALSE(CheckWritable((dir / std::string(300, 'x')).c_str(), &reason));
    EXPECT_EQ(reason, std::strerror(ENAMETOOLONG));
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    EXPECT_TRUE(CheckWritable((dir / "fifo").c_str(), &reason)) << "must not wait for a reader";
    EXPECT_TRUE(CheckWritable((dir / "keep").c_str(), &reason));
    EXPECT_EQ(Read(dir / "keep"), "old");
    EXPECT_EQ(dir.Entries(), 4);
}

// A writer that is between Open and Commit when a signal arrives, in a child process:
// `handler` is the signal's action there. Gives how the child ended.
int SaveInterrupted(const Folder& dir, int sig, void (*handler)(int)) {
    Write(dir / "target", "old");
    const pid_t pid = fork();
    if (pid == 0) {
        std::signal(sig, handler);
        FileWriter out;
        if (!out.Open((dir / "target").c_str())) _exit(10);
        std::fputs("new", out.Stream());
        raise(sig);
        if (!out.Commit()) _exit(11);
        struct sigaction now {};
        sigaction(sig, nullptr, &now);
        _exit(now.sa_handler == handler ? 0 : 12);  // the program's action is back
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFSIGNALED(status) ? -WTERMSIG(status) : WEXITSTATUS(status);
}

volatile sig_atomic_t stop_requests = 0;
void RequestStop(int) {
    stop_requests = stop_requests + 1;
}

// A signal that ends the process removes the temporary first and the old file stays; one the
// program handles (a stop flag) reaches its handler and the save completes.
TEST(FileTargets, SignalsDuringASaveLeaveNoTemporary) {
    Folder dir;
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(sig);
        EXPECT_EQ(SaveInterrupted(dir, sig, SIG_DFL), -sig);
        EXPECT_EQ(Read(dir / "target"), "old");
        EXPECT_EQ(dir.Entries(), 1);
    }
    EXPECT_EQ(SaveInterrupted(dir, SIGTERM, RequestStop), 0);
    EXPECT_EQ(Read(dir / "target"), "new");
    EXPECT_EQ(SaveInterrupted(dir, SIGHUP, SIG_IGN), 0);
    EXPECT_EQ(Read(dir / "target"), "new");
    EXPECT_EQ(dir.Entries(), 1);
}

}  // namespace
