// The one suite of the file writer, through which every file the program writes goes: each
// kind of target, the failures, other users' files and signals during a save. The fuzz target
// takes the same kinds of target; the command line's test, `lumivor render`'s outputs.
#include "image/file_writer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <string>

#include "tests/support/child.h"
#include "tests/support/write_target.h"

namespace {

namespace fs = std::filesystem;

constexpr uid_t kNobody = 65534;

std::string Failed(const char* call, int err) {
    return std::string(call) + ": " + std::strerror(err);
}

// Writes text through a FileWriter; "" when it succeeds, else the failed call and reason.
std::string Save(const std::string& path, const std::string& text) {
    FileWriter out;
    const bool saved =
        out.Open(path.c_str()) && (std::fputs(text.c_str(), out.Stream()), out.Commit());
    return saved ? "" : Failed(out.FailedCall(), out.Error());
}

// More than stdio's buffer, with zero bytes: several writes; small enough for a pipe.
TEST(FileWriter, EveryKindOfTargetGetsItsBytesAndNoTemporaryStays) {
    std::string bytes(10000, 'b');
    bytes[7] = bytes[5000] = '\0';
    const mode_t old_mask = umask(027);
    for (int kind = 0; kind < kWriteKinds; ++kind) {
        for (const bool give_up : {false, true}) {
            TempFolder dir;
            EXPECT_EQ(SaveAndCheck(WriteKind(kind), dir.path, 0604, bytes, give_up), "")
                << "kind " << kind << (give_up ? ", given up" : "");
        }
    }
    umask(old_mask);
    TempFolder dir;  // standard output appending to a log, as after `>> log`
    WriteFile(dir / "log", "head\n");
    EXPECT_EQ(InChild([&] {
                  const int log = open((dir / "log").c_str(), O_WRONLY | O_APPEND);
                  return log >= 0 && dup2(log, 1) == 1 && Save("/dev/stdout", "tail").empty();
              }),
              0);
    EXPECT_EQ(ReadFile(dir / "log"), "head\ntail");
}

// Failures name the call and the system's reason; a file that cannot be completed keeps its
// old bytes and leaves no temporary. The early check refuses without touching anything, and
// never waits for a FIFO's reader.
TEST(FileWriter, FailuresNameTheCallAndReasonAndLoseNothing) {
    TempFolder dir;
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    WriteFile(dir / "keep", "old");
    const struct {
        std::string path;
        int refused;       // the early check's reason, or 0
        std::string save;  // the save's failed call and reason ("": not saved)
    } cases[] = {
        {dir / "no/such", ENOENT, Failed("fopen", ENOENT)},
        {dir.path, EISDIR, Failed("fopen", EISDIR)},
        {"", ENOENT, Failed("fopen", ENOENT)},
        {dir / std::string(300, 'x'), ENAMETOOLONG, Failed("fopen", ENAMETOOLONG)},
        {"/dev/full", 0, Failed("fwrite", ENOSPC)},
        {dir / "keep", 0, Failed("fwrite", EFBIG)},  // past the file size limit below
        {dir / "fifo", 0, ""},
    };
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    const rlimit limit = {4096, old.rlim_max};  // a full file system, for files alone
    std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &limit);
    for (const auto& c : cases) {
        std::string reason;
        EXPECT_EQ(CheckWritable(c.path.c_str(), &reason) ? "" : reason,
                  c.refused ? std::strerror(c.refused) : "")
            << c.path;
        if (!c.save.empty()) {
            EXPECT_EQ(Save(c.path, std::string(10000, 'x')), c.save) << c.path;
        }
    }
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_EQ(ReadFile(dir / "keep"), "old");
    EXPECT_EQ(Entries(dir.path), 2);
}

// As another user: a file its owner made read-only is refused with the reason and kept; a
// writable file in a folder the user cannot write is written in place. Root may replace the
// read-only file, which keeps its owner and mode.
TEST(FileWriter, OtherUsersFilesKeepTheirProtectionOwnerAndMode) {
    TempFolder dir;
    const std::string prot = dir / "protected", open_file = dir / "closed/open";
    fs::create_directory(dir / "closed");
    WriteFile(prot, "keep");
    WriteFile(open_file, "old");
    const uid_t user = geteuid() == 0 ? kNobody : geteuid();
    for (const std::string& p : {dir.path, prot, open_file})
        ASSERT_EQ(chown(p.c_str(), user, -1), 0);
    ASSERT_EQ(chmod(prot.c_str(), 0444), 0);
    ASSERT_EQ(chmod((dir / "closed").c_str(), 0555), 0);
    const int held = open(open_file.c_str(), O_RDONLY | O_CLOEXEC);  // sees only in-place writes
    EXPECT_EQ(InChild([&] {
                  if (geteuid() == 0 && (setgid(kNobody) != 0 || setuid(kNobody) != 0))
                      return false;
                  std::string reason;
                  return !CheckWritable(prot.c_str(), &reason) && reason == std::strerror(EACCES) &&
                         Save(prot, "lost") == Failed("fopen", EACCES) &&
                         CheckWritable(open_file.c_str(), &reason) &&
                         !CheckWritable((dir / "closed/new").c_str(), &reason) &&
                         Save(open_file, "new").empty();
              }),
              0);
    EXPECT_EQ(ReadFile(prot), "keep");
    EXPECT_EQ(ReadFile("/proc/self/fd/" + std::to_string(held)), "new");
    close(held);
    chmod((dir / "closed").c_str(), 0755);
    EXPECT_EQ(Entries(dir / "closed"), 1);
    if (geteuid() != 0) return;
    EXPECT_EQ(Save(prot, "root's"), "");
    struct stat st {};
    ASSERT_EQ(stat(prot.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, kNobody);
    EXPECT_EQ(st.st_mode & 07777, 0444u);
}

// A writer between Open and Commit when `sig` arrives, in a child process where `handler` is
// the signal's action; gives how the child ended (0: it saved and the action is back).
int SaveInterrupted(const TempFolder& dir, int sig, void (*handler)(int)) {
    WriteFile(dir / "target", "old");
    return InChild([&] {
        std::signal(sig, handler);
        FileWriter out;
        const bool saved = out.Open((dir / "target").c_str()) &&
                           std::fputs("new", out.Stream()) >= 0 && raise(sig) == 0 && out.Commit();
        struct sigaction now {};
        sigaction(sig, nullptr, &now);
        return saved && now.sa_handler == handler;
    });
}

// A signal that ends the process removes the temporary first and the old file stays; one the
// program handles (a stop flag) or ignores keeps its action and the save completes.
TEST(FileWriter, SignalsDuringASaveLeaveNoTemporary) {
    TempFolder dir;
    void (*const stop_flag)(int) = [](int) {};  // a handler of the program's own
    for (const auto& [sig, handler] : {std::pair{SIGINT, SIG_DFL},
                                       {SIGTERM, SIG_DFL},
                                       {SIGHUP, SIG_DFL},
                                       {SIGTERM, stop_flag},
                                       {SIGHUP, SIG_IGN}}) {
        const bool ends = handler == SIG_DFL;
        EXPECT_EQ(SaveInterrupted(dir, sig, handler), ends ? -sig : 0) << sig;
        EXPECT_EQ(ReadFile(dir / "target"), ends ? "old" : "new");
        EXPECT_EQ(Entries(dir.path), 1);
    }
}

}  // namespace
