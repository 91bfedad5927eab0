#include "tests/support/write_target.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <optional>

#include "image/file_writer.h"
#include "tests/support/files.h"

namespace {

std::string Drain(int fd) {  // what a FIFO holds, without waiting for more
    std::string got;
    char buf[4096];
    for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;) got.append(buf, static_cast<size_t>(n));
    return got;
}

}  // namespace

std::string SaveAndCheck(WriteKind kind, const std::string& dir, mode_t mode,
                         const std::string& bytes, bool give_up) {
    const std::string old = "old content";
    std::string path = dir + "/target", file = path;  // what is named, where the bytes go
    int fd = -1;                                      // the target's descriptor in this process
    const bool linked = kind == kLink || kind == kDangling;
    if (linked) file = dir + "/named";
    if ((kind == kFile || kind == kTwoNames || kind == kLink || kind == kOpenFile ||
         kind == kAppendFile) &&
        (!WriteFile(file, old) || chmod(file.c_str(), mode) != 0))
        return "setup failed";
    if (kind == kTwoNames && link(file.c_str(), (dir + "/other").c_str()) != 0) return "no link";
    if (linked && symlink("named", path.c_str()) != 0) return "no symbolic link";
    if (kind == kDevice) path = file = "/dev/null";
    if (kind == kFifo) {
        if (bytes.size() >= 65536) return "";  // more than the pipe holds: it would wait
        if (mkfifo(path.c_str(), 0600) != 0) return "no FIFO";
        fd = open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    }
    if (kind == kOpenFile || kind == kAppendFile) {
        fd = open(file.c_str(), kind == kOpenFile ? O_RDWR : O_WRONLY | O_APPEND);
        path = (kind == kOpenFile ? "/proc/self/fd/" : "/dev/fd/") + std::to_string(fd);
    }
    if (kind == kLongName) path = file = dir + "/" + std::string(255, 'n');
    const bool existed = access(file.c_str(), F_OK) == 0, new_file = !existed && kind != kDevice;
    struct stat before {};
    stat(file.c_str(), &before);
    const long names = Entries(dir);
    const mode_t mask = umask(0);
    umask(mask);

    std::string reason, problem;
    if (!CheckWritable(path.c_str(), &reason)) return "the early check refused: " + reason;
    std::optional<FileWriter> out(std::in_place);
    if (!out->Open(path.c_str())) return std::string("Open: ") + std::strerror(out->Error());
    for (size_t at = 0; at <= bytes.size(); ++at) {
        const size_t end = std::min(bytes.find('\0', at), bytes.size());
        std::fwrite(bytes.data() + at, 1, end - at, out->Stream());
        if (end < bytes.size()) std::fputc(0, out->Stream());
        at = end;
    }
    const bool replacing = out->Replacing();
    const std::string kept = existed ? old : "";
    if (replacing && (ReadFile(file) != kept || access(file.c_str(), F_OK) != (existed ? 0 : -1)))
        problem = "the target changed before the commit";
    if (give_up) {
        kind % 2 ? out->Abandon() : out.reset();  // both ways of giving up
        if (replacing && ReadFile(file) != kept) problem = "giving up changed the target";
    } else if (!out->Commit()) {
        return std::string("Commit: ") + std::strerror(out->Error());
    } else {
        std::string want = bytes;
        if (kind == kOpenFile && bytes.size() < old.size()) want += old.substr(bytes.size());
        if (kind == kAppendFile) want = old + bytes;
        const std::string got = kind == kFifo ? Drain(fd) : ReadFile(file);
        struct stat after {};
        stat(file.c_str(), &after);
        if (kind != kDevice && got != want) problem = "wrong bytes";
        if (kind == kTwoNames && ReadFile(dir + "/other") != bytes) problem = "other name differs";
        if (linked && !std::filesystem::is_symlink(path)) problem = "the link was replaced";
        if (existed && (after.st_mode != before.st_mode || after.st_uid != before.st_uid))
            problem = "mode or owner changed";
        if (new_file && (after.st_mode & 07777) != (0666 & ~mask)) problem = "wrong new mode";
        if (fd >= 0 && after.st_ino != before.st_ino) problem = "an open file was replaced";
    }
    if (fd >= 0) close(fd);
    if (Entries(dir) != names + (new_file && !give_up ? 1 : 0)) problem = "a temporary stayed";
    return problem;
}
