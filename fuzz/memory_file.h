// A file that lives in memory (memfd), for fuzz targets whose code under test
// opens a path: each input is written to it and the code reads it back through
// /proc/self/fd. No file is left on disk, whatever happens to the process.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

class MemoryFile {
  public:
    explicit MemoryFile(const char* name) {
        fd_ = memfd_create(name, MFD_CLOEXEC);
        if (fd_ < 0) {
            std::perror("memfd_create");
            std::abort();
        }
        std::snprintf(path_, sizeof path_, "/proc/self/fd/%d", fd_);
    }
    ~MemoryFile() { close(fd_); }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    // Replaces the content with `size` bytes; aborts when the write fails, so a
    // fault in the harness is never taken for one in the code under test.
    void Set(const uint8_t* data, size_t size) {
        if (ftruncate(fd_, 0) != 0) std::abort();
        size_t done = 0;
        while (done < size) {
            const ssize_t n = pwrite(fd_, data + done, size - done, static_cast<off_t>(done));
            if (n <= 0) std::abort();
            done += static_cast<size_t>(n);
        }
    }

    // Empties the file and puts its offset back to the start: code that writes
    // to Path() writes through this descriptor, from its offset.
    void Clear() {
        if (ftruncate(fd_, 0) != 0 || lseek(fd_, 0, SEEK_SET) != 0) std::abort();
    }

    const char* Path() const { return path_; }

  private:
    int fd_ = -1;
    char path_[40] = {};
};
