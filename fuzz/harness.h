// What the fuzz targets share: a failed check aborts, so that libFuzzer keeps the input; a
// file in memory for code that opens a path; and an input taken as a command line.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

inline void Check(bool ok) {
    if (!ok) std::abort();
}

// A memfd read and written through /proc/self/fd/N: no file is left on disk, whatever
// happens to the process. Code that writes to Path() writes through this descriptor, from
// its offset.
class MemoryFile {
  public:
    explicit MemoryFile(const char* name) : fd_(memfd_create(name, MFD_CLOEXEC)) {
        Check(fd_ >= 0);
        std::snprintf(path_, sizeof path_, "/proc/self/fd/%d", fd_);
    }
    ~MemoryFile() { close(fd_); }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    // Empties the file and puts its offset back to the start.
    void Clear() { Check(ftruncate(fd_, 0) == 0 && lseek(fd_, 0, SEEK_SET) == 0); }
    // Replaces the content; a failed or short write (a memfd takes a fuzz input whole) aborts,
    // never to be taken for a fault under test.
    void Set(const uint8_t* data, size_t size) {
        Clear();
        Check(size == 0 || pwrite(fd_, data, size, 0) == static_cast<ssize_t>(size));
    }
    const char* Path() const { return path_; }

  private:
    int fd_;
    char path_[40] = {};
};

// Parses the input, split at line ends into arguments after `first`, as a command line with
// parse(argc, argv, &args, &error): a refusal comes with a one-line reason; valid() takes an
// accepted command line. Returns what was accepted.
template <typename Args, typename Parse, typename Valid>
std::optional<Args> CheckParse(const char* first, const uint8_t* data, size_t size, Parse parse,
                               Valid valid) {
    std::vector<std::string> words{first, ""};
    for (size_t i = 0; i < size; ++i)
        data[i] == '\n' ? void(words.emplace_back()) : words.back().push_back(char(data[i]));
    if (words.back().empty()) words.pop_back();  // a last line end ends the last argument
    if (words.size() > 256) return std::nullopt;
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    Args args;
    std::string error;
    const bool ok = parse(int(words.size()), argv.data(), &args, &error);
    Check(ok ? valid(args) : !error.empty() && error.find('\n') == std::string::npos);
    return ok ? std::optional<Args>(args) : std::nullopt;
}
