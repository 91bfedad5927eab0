#include "image/file_writer.h"

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cwchar>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>
#ifdef __linux__
#include <linux/magic.h>
#include <sys/vfs.h>
#endif

#include "image/temp_cleanup.h"

#endif

namespace {

// The folder part of a path, with its final slash; empty for a bare name.
std::string FolderOf(const std::string& path) {
#ifdef _WIN32
    const size_t slash = path.find_last_of("/\\");
#else
    const size_t slash = path.find_last_of('/');
#endif
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

FileWriter::~FileWriter() {
    if (stream_ != nullptr) Abandon();
}

bool FileWriter::Fail(const char* call, int err) {
    failed_call_ = call;
    error_ = err;
    return false;
}

bool FileWriter::Open(std::FILE* stream) {
    if (stream_ != nullptr) Abandon();
    if (stream == nullptr) return Fail("fopen", EBADF);
    stream_ = stream;
    own_stream_ = false;
    sync_ = false;
    return true;
}

void FileWriter::Close() {
    if (stream_ != nullptr && own_stream_) std::fclose(stream_);
    stream_ = nullptr;
#ifndef _WIN32
    if (copy_into_ >= 0) close(copy_into_);
    copy_into_ = -1;
#endif
}

#ifdef _WIN32

namespace {

// The UTF-16 form of a UTF-8 name, for the wide-character calls; empty when
// the name is empty or not UTF-8.
std::wstring Wide(const std::string& utf8) {
    const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                      static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(n > 0 ? static_cast<size_t>(n) : 0, L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                            static_cast<int>(utf8.size()), wide.data(), n);
    return wide;
}

// A reason for a failed file call of the system, in the words the C library
// uses for the same failure elsewhere.
std::string Reason(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return std::strerror(ENOENT);
        case ERROR_ACCESS_DENIED:
        case ERROR_WRITE_PROTECT:
            return std::strerror(EACCES);
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return "in use by another program";
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME:
        case ERROR_DIRECTORY:
            return "not a valid file name";
        default:
            return "Windows error " + std::to_string(error);
    }
}

}  // namespace

std::FILE* OpenFile(const char* path, const char* mode) {
    const std::wstring wide_path = Wide(path != nullptr ? path : "");
    const std::wstring wide_mode = Wide(mode != nullptr ? mode : "");
    if (wide_path.empty() || wide_mode.empty()) {
        errno = path != nullptr && path[0] == '\0' ? ENOENT : EINVAL;
        return nullptr;
    }
    return _wfopen(wide_path.c_str(), wide_mode.c_str());
}

// The standard streams by their Linux names (what "-" stands for); any other
// name: a temporary beside the target moved over it when complete, or the
// target itself when no temporary can be made there. Names are UTF-8 and
// reach the system through the wide-character calls. Every file here is
// replaced by a move, so `unreplaceable` changes nothing.
bool FileWriter::Open(const char* path, Unreplaceable) {
    if (stream_ != nullptr) Abandon();
    failed_call_ = "";
    error_ = 0;
    if (path == nullptr) return Fail("fopen", EINVAL);
    if (std::strcmp(path, "/dev/stdout") == 0) return Open(stdout);
    if (std::strcmp(path, "/dev/stderr") == 0) return Open(stderr);
    target_ = path;
    // A temporary of this writer's own: several files may be written into one
    // folder at once (a render's trace and its habitat).
    static unsigned serial = 0;
    for (int attempt = 0; attempt < 100 && stream_ == nullptr; ++attempt) {
        temp_ = FolderOf(target_) + ".lumivor-" + std::to_string(GetCurrentProcessId()) + "-" +
                std::to_string(serial++) + ".tmp";
        const int fd = _wopen(Wide(temp_).c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY,
                              _S_IREAD | _S_IWRITE);
        if (fd < 0) {
            if (errno != EEXIST) break;
            continue;
        }
        stream_ = _fdopen(fd, "wb");
        if (stream_ == nullptr) {
            _close(fd);
            _wremove(Wide(temp_).c_str());
        }
        break;
    }
    if (stream_ == nullptr) {
        temp_.clear();
        stream_ = OpenFile(path, "wb");
    }
    own_stream_ = true;
    if (stream_ == nullptr) return Fail("fopen", errno);
    return true;
}

bool FileWriter::Commit() {
    if (stream_ == nullptr) return Fail("fwrite", EBADF);
    bool ok = std::fflush(stream_) == 0 && !std::ferror(stream_);
    if (!ok) Fail("fwrite", errno != 0 ? errno : EIO);
    if (own_stream_ && std::fclose(stream_) != 0 && ok) ok = Fail("fclose", errno);
    stream_ = nullptr;
    if (!temp_.empty()) {
        if (ok &&
            !MoveFileExW(Wide(temp_).c_str(), Wide(target_).c_str(), MOVEFILE_REPLACE_EXISTING))
            ok = Fail("rename", EACCES);
        if (!ok) _wremove(Wide(temp_).c_str());
        temp_.clear();
    }
    return ok;
}

void FileWriter::Abandon() {
    Close();
    if (!temp_.empty()) _wremove(Wide(temp_).c_str());
    temp_.clear();
}

// Asked of the system without creating or changing anything: a device name
// (NUL, CON, COM1 ... in any folder) is refused, since the writer replaces
// files; an existing target must be a file that opens for writing; a new one
// needs a folder that lets files be added.
bool CheckWritable(const char* path, std::string* reason) {
    const auto refuse = [reason](std::string why) {
        *reason = std::move(why);
        return false;
    };
    if (path == nullptr || path[0] == '\0') return refuse(std::strerror(ENOENT));
    const std::wstring wide = Wide(path);
    if (wide.empty()) return refuse("not a valid file name");
    wchar_t full[16];  // a device's name is short: "\\.\NUL", "\\.\CONOUT$"
    const DWORD full_size = GetFullPathNameW(wide.c_str(), 16, full, nullptr);
    if (full_size >= 4 && full_size < 16 && std::wcsncmp(full, L"\\\\.\\", 4) == 0)
        return refuse("a device, not a file");
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) return refuse(std::strerror(EISDIR));
        if (attributes & FILE_ATTRIBUTE_READONLY) return refuse(std::strerror(EACCES));
        const HANDLE file = CreateFileW(wide.c_str(), GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return refuse(Reason(GetLastError()));
        CloseHandle(file);
        return true;
    }
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND) return refuse(Reason(error));
    const std::string folder = FolderOf(path);
    const std::wstring wide_folder = Wide(folder.empty() ? "." : folder);
    const DWORD folder_attributes = GetFileAttributesW(wide_folder.c_str());
    if (folder_attributes == INVALID_FILE_ATTRIBUTES) return refuse(Reason(GetLastError()));
    if (!(folder_attributes & FILE_ATTRIBUTE_DIRECTORY)) return refuse(std::strerror(ENOTDIR));
    const HANDLE dir = CreateFileW(wide_folder.c_str(), FILE_ADD_FILE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (dir == INVALID_HANDLE_VALUE) return refuse(Reason(GetLastError()));
    CloseHandle(dir);
    return true;
}

#else

namespace {

// Follows symbolic links from path to the name of the file they lead to.
// Sets *direct when a link is one of the system's views of an open file
// (/dev/stdout, /proc/self/fd/N), which is written into, never replaced.
std::string FinalName(const char* path, bool* direct) {
    std::string name = path;
    *direct = false;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (lstat(name.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) break;
        const std::string folder = FolderOf(name);
#ifdef __linux__
        struct statfs fs;
        if (statfs(folder.empty() ? "." : folder.c_str(), &fs) == 0 &&
            fs.f_type == PROC_SUPER_MAGIC) {
            *direct = true;
            break;
        }
#endif
        char text[4096];
        const ssize_t n = readlink(name.c_str(), text, sizeof text - 1);
        if (n <= 0) break;
        text[n] = '\0';
        name = text[0] == '/' ? std::string(text) : folder + text;
    }
    return name;
}

// The descriptor of this process that path names ("/dev/stdout", "/dev/fd/N",
// "/proc/self/fd/N"), or -1. Writing through a copy of it shares its offset
// and append mode, as the shell set them up.
int NamedDescriptor(const char* path) {
    if (std::strcmp(path, "/dev/stdout") == 0) return 1;
    if (std::strcmp(path, "/dev/stderr") == 0) return 2;
    for (const char* prefix : {"/dev/fd/", "/proc/self/fd/"}) {
        const size_t n = std::strlen(prefix);
        if (std::strncmp(path, prefix, n) != 0 || path[n] == '\0') continue;
        int fd = 0;
        for (const char* p = path + n; *p != '\0'; ++p) {
            if (*p < '0' || *p > '9' || fd > 100000) return -1;
            fd = fd * 10 + (*p - '0');
        }
        return fd;
    }
    return -1;
}

// Creates a fresh temporary in `folder` with mode 0666 less the umask.
int CreateTemp(const std::string& folder, std::string* temp) {
    static unsigned counter = 0;
    static const char kDigits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        timespec now{};
        clock_gettime(CLOCK_REALTIME, &now);
        unsigned long mix = static_cast<unsigned long>(now.tv_nsec) ^
                            (static_cast<unsigned long>(getpid()) << 20) ^
                            (++counter * 2654435761u);
        char name[] = ".lumivor-XXXXXX";
        for (size_t i = 9; i < sizeof name - 1; ++i, mix /= 36) name[i] = kDigits[mix % 36];
        *temp = folder + name;
        const int fd = open(temp->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

// Gives the temporary the owner and mode of the file it replaces.
bool KeepIdentity(int fd, const struct stat& original) {
    struct stat st;
    if (fstat(fd, &st) != 0) return false;
    if ((st.st_uid != original.st_uid || st.st_gid != original.st_gid) &&
        fchown(fd, original.st_uid, original.st_gid) != 0)
        return false;
    return fchmod(fd, original.st_mode & 07777) == 0;  // after fchown, which may clear bits
}

}  // namespace

// A temporary is held in the table from creation to rename or removal.
bool FileWriter::Open(const char* path, Unreplaceable unreplaceable) {
    if (stream_ != nullptr) Abandon();
    failed_call_ = "";
    error_ = 0;
    if (path == nullptr) return Fail("fopen", EINVAL);
    if (path[0] == '\0') return Fail("fopen", ENOENT);  // as open("") says
    own_stream_ = true;
    const int named = NamedDescriptor(path);
    if (named >= 0) {
        const int flags = fcntl(named, F_GETFL);
        if (flags < 0) return Fail("fopen", errno);
        if ((flags & O_ACCMODE) == O_RDONLY) return Fail("fopen", EBADF);
        const int copy = fcntl(named, F_DUPFD_CLOEXEC, 0);
        stream_ = copy >= 0 ? fdopen(copy, "wb") : nullptr;
        if (stream_ == nullptr) {
            const int err = errno;
            if (copy >= 0) close(copy);
            return Fail("fopen", err);
        }
        sync_ = false;
        return true;
    }
    bool direct = false;
    target_ = FinalName(path, &direct);

    // The check a plain open for writing would make, without truncating.
    int fd = open(path, O_WRONLY | O_NOCTTY | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 && (errno != ENOENT || direct)) return Fail("fopen", errno);
    if (fd >= 0 && fstat(fd, &st) != 0) {
        const int err = errno;
        close(fd);
        return Fail("fopen", err);
    }
    const bool regular = fd < 0 || S_ISREG(st.st_mode);
    const bool may_rename = fd < 0 || st.st_nlink == 1;
    if (!direct && regular && (may_rename || unreplaceable == kCopyAtCommit)) {
        SignalHold hold;
        const int temp_fd = CreateTemp(FolderOf(target_), &temp_);
        if (temp_fd < 0 && fd < 0) {  // a new file that cannot be made
            const int err = errno;
            temp_.clear();
            return Fail("fopen", err);
        }
        if (temp_fd >= 0) {
            HoldTemp(temp_.c_str());
            const bool renamed = may_rename && (fd < 0 || KeepIdentity(temp_fd, st));
            if (renamed || unreplaceable == kCopyAtCommit) {
                stream_ = fdopen(temp_fd, "wb");
                if (stream_ != nullptr) {
                    if (renamed && fd >= 0) close(fd);
                    if (!renamed) copy_into_ = fd;
                    sync_ = true;
                    return true;
                }
            }
            const int err = errno;
            close(temp_fd);
            unlink(temp_.c_str());
            ReleaseTemp(temp_.c_str());
            temp_.clear();
            if (fd < 0) return Fail("fopen", err);
        } else {
            temp_.clear();
        }
    }
    // Written in place: a regular file is emptied first, as a plain open would.
    if (S_ISREG(st.st_mode) && ftruncate(fd, 0) != 0) {
        const int err = errno;
        close(fd);
        return Fail("fopen", err);
    }
    stream_ = fdopen(fd, "wb");
    if (stream_ == nullptr) {
        const int err = errno;
        close(fd);
        return Fail("fopen", err);
    }
    sync_ = S_ISREG(st.st_mode);
    return true;
}

bool FileWriter::Commit() {
    if (stream_ == nullptr) return Fail("fwrite", EBADF);
    bool ok = true;
    if (std::fflush(stream_) != 0 || std::ferror(stream_))
        ok = Fail("fwrite", errno != 0 ? errno : EIO);
    if (ok && sync_ && fsync(fileno(stream_)) != 0) ok = Fail("fsync", errno);
    if (own_stream_ && std::fclose(stream_) != 0 && ok) ok = Fail("fclose", errno);
    stream_ = nullptr;
    if (temp_.empty()) return ok;

    if (copy_into_ >= 0) {
        SignalHold hold;  // a signal waits until the target is whole
        if (ok) ok = CopyTempIntoTarget();
        close(copy_into_);
        copy_into_ = -1;
        unlink(temp_.c_str());
        ReleaseTemp(temp_.c_str());
        temp_.clear();
        return ok;
    }
    {
        SignalHold hold;
        if (ok && rename(temp_.c_str(), target_.c_str()) != 0) ok = Fail("rename", errno);
        if (!ok) unlink(temp_.c_str());
        ReleaseTemp(temp_.c_str());
    }
    if (ok) {  // the new name itself is made durable too; a failure here loses nothing
        const std::string folder = FolderOf(target_);
        const int dir =
            open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir >= 0) {
            fsync(dir);
            close(dir);
        }
    }
    temp_.clear();
    return ok;
}

// The complete temporary copied over the target from its start; the target
// is cut to the new length and synced.
bool FileWriter::CopyTempIntoTarget() {
    const int from = open(temp_.c_str(), O_RDONLY | O_CLOEXEC);
    if (from < 0) return Fail("fopen", errno);
    bool ok = ftruncate(copy_into_, 0) == 0 || Fail("fwrite", errno);
    char buffer[1 << 16];
    for (ssize_t n = 0; ok && (n = read(from, buffer, sizeof buffer)) != 0;) {
        if (n < 0) {
            if (errno != EINTR) ok = Fail("fwrite", errno);
            continue;
        }
        for (ssize_t done = 0; ok && done < n;) {
            const ssize_t w = write(copy_into_, buffer + done, static_cast<size_t>(n - done));
            if (w >= 0) {
                done += w;
            } else if (errno != EINTR) {
                ok = Fail("fwrite", errno);
            }
        }
    }
    close(from);
    if (ok && fsync(copy_into_) != 0) ok = Fail("fsync", errno);
    return ok;
}

void FileWriter::Abandon() {
    Close();
    if (temp_.empty()) return;
    SignalHold hold;
    unlink(temp_.c_str());
    ReleaseTemp(temp_.c_str());
    temp_.clear();
}

std::FILE* OpenFile(const char* path, const char* mode) {
    return std::fopen(path, mode);
}

bool CheckWritable(const char* path, std::string* reason) {
    const auto refuse = [reason](int err) {
        *reason = std::strerror(err);
        return false;
    };
    if (path == nullptr || path[0] == '\0') return refuse(ENOENT);
    struct stat st;
    if (stat(path, &st) == 0) {
        if (S_ISDIR(st.st_mode)) return refuse(EISDIR);
        // A FIFO would block without a reader: only its permission is asked.
        if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) {
            return faccessat(AT_FDCWD, path, W_OK, AT_EACCESS) == 0 || refuse(errno);
        }
        const int fd = open(path, O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0) return refuse(errno);
        close(fd);
        return true;
    }
    if (errno != ENOENT) return refuse(errno);
    bool direct = false;
    const std::string target = FinalName(path, &direct);
    const std::string folder = FolderOf(target);
    const char* where = folder.empty() ? "." : folder.c_str();
    if (stat(where, &st) != 0) return refuse(errno);
    if (!S_ISDIR(st.st_mode)) return refuse(ENOTDIR);
    if (faccessat(AT_FDCWD, where, W_OK | X_OK, AT_EACCESS) != 0) return refuse(errno);
    const long name_max = pathconf(where, _PC_NAME_MAX);
    if (name_max > 0 && target.size() - folder.size() > static_cast<size_t>(name_max))
        return refuse(ENAMETOOLONG);
    return true;
}

#endif
