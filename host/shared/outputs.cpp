#include "host/shared/outputs.h"

#ifndef _WIN32
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstring>
#include <utility>

#include "bots/messages.h"
#include "image/file_writer.h"
#include "saver/saver.h"
#include "world/biotope.h"
#include "world/habitat_files.h"

bool CheckOutputs(const std::vector<std::string>& paths, const char* program, std::FILE* diag) {
    bool ok = true;
    for (const std::string& path : paths) {
        if (path.empty() || IsStandardOutput(path)) continue;
        std::string reason;
        if (!CheckWritable(path.c_str(), &reason)) {
            std::fprintf(diag, "%s: cannot write %s: %s\n", program, path.c_str(), reason.c_str());
            ok = false;
        }
    }
    return ok;
}

bool SaveHabitatAtEnd(const std::string& path, const char* program, std::FILE* diag) {
    if (path.empty() || biotope.SaveHabitat(OutputName(path), kTopRowFirst)) return true;
    std::fprintf(diag, "%s: cannot save %s\n", program, path.c_str());
    return false;
}

void RouteMessages(bool quiet, bool picture_to_stdout) {
    if (quiet) {
        trace_stream = nullptr;
        notice_stream = nullptr;
    } else if (picture_to_stdout) {
        trace_stream = stderr;
    }
}

void PrintFinalState() {
    char line[1024];
    if (FormatFinalState(line, sizeof line) >= 0) std::printf("%s\n", line);
}

namespace {

[[maybe_unused]] bool closed_at_start[3] = {false, false, false};  // set once, first thing

#ifndef _WIN32
// The descriptor a name of one stands for (/dev/stdout, /dev/fd/N,
// /proc/self/fd/N), or -1 for any other name.
int DescriptorNamed(const std::string& path) {
    if (path == "/dev/stdin") return 0;
    if (path == "/dev/stdout") return 1;
    if (path == "/dev/stderr") return 2;
    for (const char* prefix : {"/dev/fd/", "/proc/self/fd/"}) {
        const size_t n = std::strlen(prefix);
        if (path.compare(0, n, prefix) != 0) continue;
        const std::string rest = path.substr(n);
        if (rest.size() == 1 && rest[0] >= '0' && rest[0] <= '9') return rest[0] - '0';
    }
    return -1;
}

// The file a path names: its device and inode where it exists, else the path
// it would be created at (links followed, the folder resolved). Empty for a
// character device such as /dev/null, which any number of outputs may share.
std::string Identity(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) == 0) {
        if (S_ISCHR(st.st_mode)) return "";
        return "i" + std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
    }
    std::string name = path;
    for (int hops = 0; hops < 40; ++hops) {
        char text[PATH_MAX];
        const ssize_t n = readlink(name.c_str(), text, sizeof text - 1);
        if (n <= 0) break;
        text[n] = '\0';
        const size_t slash = name.rfind('/');
        name = text[0] == '/' || slash == std::string::npos ? std::string(text)
                                                            : name.substr(0, slash + 1) + text;
    }
    const size_t slash = name.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : name.substr(0, slash + 1);
    char resolved[PATH_MAX];
    if (realpath(folder.c_str(), resolved) == nullptr) return "p" + name;
    return "p" + std::string(resolved) + "/" + name.substr(slash + 1);
}

// Which standard stream (0, 1, 2) a path names, or -1. *closed is set for a
// name of a descriptor that is not open, or of a stream closed at start.
int StreamOf(const std::string& path, bool* closed) {
    *closed = false;
    if (path == "-") return 1;
    // A descriptor's name is that descriptor, whatever file it shares.
    const int named = DescriptorNamed(path);
    struct stat st;
    if (named >= 0 && named <= 2) {
        *closed = closed_at_start[named] || fstat(named, &st) != 0;
        return *closed ? -1 : named;
    }
    if (stat(path.c_str(), &st) != 0) {
        *closed = errno == EBADF || (errno == ENOENT && (path.rfind("/dev/fd/", 0) == 0 ||
                                                         path.rfind("/proc/self/fd/", 0) == 0));
        return -1;
    }
    // A device reached by its own name (/dev/null, /dev/tty) is written as a device
    // even when a standard stream is that device too; only a descriptor's name is
    // that stream.
    const bool descriptor_name = path.rfind("/dev/fd/", 0) == 0 || path.rfind("/proc/", 0) == 0;
    if (S_ISCHR(st.st_mode) && !descriptor_name) return -1;
    // The very file the shell opened as a stream; standard output first, the
    // stream an output most likely means.
    for (int fd : {1, 2, 0}) {
        struct stat stream;
        if (!closed_at_start[fd] && fstat(fd, &stream) == 0 && stream.st_dev == st.st_dev &&
            stream.st_ino == st.st_ino)
            return fd;
    }
    return -1;
}
#else
std::string Identity(const std::string& path) {
    return path;
}
int StreamOf(const std::string& path, bool* closed) {
    *closed = false;
    return path == "-" ? 1 : -1;
}
#endif

}  // namespace

int SettleOutputs(const std::vector<NamedOutput>& outputs, const char* input,
                  const char* stdout_user, const char* program, std::FILE* diag) {
    const auto refuse = [&](int status, const std::string& why) {
        std::fprintf(diag, "%s: %s\n", program, why.c_str());
        return status;
    };
#ifndef _WIN32
    // Standard input closed at start now reads as /dev/null: the picture is not there.
    if (input != nullptr && (std::strcmp(input, "-") == 0 || DescriptorNamed(input) == 0) &&
        closed_at_start[0])
        return refuse(1, std::string("cannot start from ") + input + ": standard input is closed");
#endif
    const char* on_stdout = stdout_user;
    std::vector<std::pair<std::string, const NamedOutput*>> files;
    for (const NamedOutput& o : outputs) {
        if (o.path->empty()) continue;
        bool closed = false;
        const int stream = StreamOf(*o.path, &closed);
        if (closed) return refuse(1, "cannot write " + *o.path + ": " + std::strerror(EBADF));
        if (stream == 0)
            return refuse(2, std::string(o.option) + " names standard input, never an output");
        if (stream == 2)
            return refuse(2, std::string(o.option) +
                                 " names standard error, where the messages go; give a file, "
                                 "or - for standard output");
        if (stream == 1) {
            if (on_stdout != nullptr)
                return refuse(2, std::string(on_stdout) + " and " + o.option +
                                     " cannot both go to standard output");
#ifndef _WIN32
            struct stat st;
            if (closed_at_start[1] || fstat(1, &st) != 0)
                return refuse(1, std::string("cannot write standard output: ") +
                                     std::strerror(closed_at_start[1] ? EBADF : errno));
#endif
            on_stdout = o.option;
            *o.path = "-";
            continue;
        }
        const std::string id = Identity(*o.path);
        if (id.empty()) continue;
        for (const auto& [other_id, other] : files)
            if (other_id == id)
                return refuse(2, std::string(other->option) + " and " + o.option +
                                     " name the same file, " + *o.path);
        if (input != nullptr && *input != '\0' && std::string(input) != "-" &&
            Identity(input) == id)
            return refuse(
                2, std::string(o.option) + " names " + input + ", the picture the run starts from");
        files.emplace_back(id, &o);
    }
    return 0;
}

int SettleRunOutputs(const std::vector<NamedOutput>& outputs, const char* input,
                     const char* stdout_user, bool quiet, const char* program, std::FILE* diag) {
    const int settled = SettleOutputs(outputs, input, stdout_user, program, diag);
    if (settled != 0) return settled;
    std::vector<std::string> paths;
    bool to_stdout = false;
    for (const NamedOutput& o : outputs) {
        paths.push_back(*o.path);
        to_stdout = to_stdout || IsStandardOutput(*o.path);
    }
    if (!CheckOutputs(paths, program, diag)) return 1;
    RouteMessages(quiet, to_stdout);
    return 0;
}

void OpenClosedStandardStreams() {
#ifndef _WIN32
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        // The lowest free descriptor is this one.
        if (open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY) != fd) continue;
        closed_at_start[fd] = true;
    }
#endif
}
