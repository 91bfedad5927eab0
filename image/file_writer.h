// Every file the program writes goes through one FileWriter, so that all of
// them follow one policy:
//
// - A target that is not a regular file (device, FIFO, socket) is written
//   straight into and never replaced. A name of one of the process's own
//   descriptors (/dev/stdout, /dev/stderr, /dev/fd/N, /proc/self/fd/N) is
//   written through a copy of that descriptor: same offset, same append mode,
//   nothing truncated, as when the program writes to standard output. A symbolic link is followed:
//   the file it names is written, the link stays.
// - An existing regular file is written only when a plain open for writing is
//   allowed; the refusal carries the system's reason.
// - It is then replaced atomically (a temporary ".lumivor-XXXXXX" in the same
//   folder, every write and fsync checked, then rename) when that keeps what
//   the user sees: the folder is writable, the file has one link, and its owner
//   and mode can be given to the temporary. Otherwise it is written in place
//   through the descriptor that passed the check, keeping its identity.
// - A new file is made by temporary and rename too, with mode 0666 less the
//   umask, as a plain open would create it.
// - Opened with kCopyAtCommit (for long writes such as a video), a regular
//   file that cannot be replaced is written into a temporary beside it all
//   the same, and Commit copies that into the file through the descriptor
//   that passed the check: every name of it sees the old content until the
//   new one is complete.
// - The temporary is removed on every failure, and when SIGINT, SIGTERM or
//   SIGHUP arrives while it exists and the signal would end the process (its
//   default action): it is unlinked, then the signal ends the process as it
//   would have. A signal the program handles itself (a stop flag) is passed to
//   its handler and the save goes on. A SIGKILL (or a crash) can leave the
//   temporary behind.
//
// Failures give false; FailedCall() names the C call that failed ("fopen" for
// anything before the first byte can be written, then "fwrite", "fsync",
// "fclose" or "rename") and Error() holds its errno, for the caller's message.
#pragma once

#include <cstdio>
#include <string>

class FileWriter {
  public:
    // What Open does with a regular file that cannot be replaced by rename.
    enum Unreplaceable { kWriteInPlace, kCopyAtCommit };

    FileWriter() = default;
    ~FileWriter();  // an open writer that was not committed is abandoned
    FileWriter(const FileWriter&) = delete;
    FileWriter& operator=(const FileWriter&) = delete;

    // Opens path by the policy above. Nothing existing is changed yet, except a
    // file written in place, which is emptied here.
    bool Open(const char* path, Unreplaceable unreplaceable = kWriteInPlace);
    // Writes to an open stream such as stdout; Commit flushes it, never closes it.
    bool Open(std::FILE* stream);

    // The stream to write to while open.
    std::FILE* Stream() const { return stream_; }

    // Completes the file: flush, sync, close, rename. False when any of them
    // failed (a temporary is then removed; a file written in place may be cut).
    bool Commit();
    // Gives up: closes and removes the temporary. The target stays as it was
    // unless it was being written in place.
    void Abandon();

    const char* FailedCall() const { return failed_call_; }
    int Error() const { return error_; }
    // Whether the target is being replaced through a temporary.
    bool Replacing() const { return !temp_.empty(); }

  private:
    bool Fail(const char* call, int err);
    void Close();
    bool CopyTempIntoTarget();

    std::FILE* stream_ = nullptr;
    bool own_stream_ = false;  // false for a stream given to Open(FILE*)
    bool sync_ = false;        // regular files are fsync'ed before they count as written
    std::string target_;       // the file the temporary is renamed to
    std::string temp_;         // empty: writing the target itself
    int copy_into_ = -1;       // kCopyAtCommit: the target's descriptor, written at Commit
    const char* failed_call_ = "";
    int error_ = 0;
};

// fopen for a path in UTF-8, the program's one encoding of names on every
// system: on Windows the name is opened through its UTF-16 form, so that names
// outside the ANSI code page work too. Null with errno set on failure.
std::FILE* OpenFile(const char* path, const char* mode);

// Whether path could be written now, checked without creating, truncating or
// blocking on anything: its folder exists and allows a new file, or the target
// exists and allows a plain open for writing. False with the system's reason.
bool CheckWritable(const char* path, std::string* reason);
