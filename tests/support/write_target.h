// One save through the file writer to each kind of target, and what must hold after it.
// Shared by the file writer's test, which takes every kind, and its fuzz target.
#pragma once

#include <sys/types.h>

#include <string>

enum WriteKind {
    kNewFile,     // a name that does not exist yet
    kFile,        // a file with the given mode
    kTwoNames,    // a file with a second (hard) link
    kLink,        // a symbolic link to a file
    kDangling,    // a symbolic link to no file yet
    kDevice,      // /dev/null
    kFifo,        // a FIFO with a reader
    kOpenFile,    // /proc/self/fd/N of a file this process has open at offset 0
    kAppendFile,  // /dev/fd/N of a file this process has open for appending
    kLongName,    // a new file of the longest name a folder takes
    kWriteKinds
};

// Makes a target of `kind` in the empty folder `dir` (an existing file holding "old content"
// with `mode`), writes `bytes` to it in pieces split at zero bytes, then commits or gives up.
// Gives "" when everything that must hold holds: the early check allowed the save, a replaced
// file keeps its old bytes until the commit and after giving up, a committed save leaves
// exactly the bytes where the target leads (an open file from its offset or after its end),
// links stay links, other names see the new bytes, modes, owners and open files are kept, a
// new file gets 0666 less the umask, and no temporary is ever left. Else what did not hold.
std::string SaveAndCheck(WriteKind kind, const std::string& dir, mode_t mode,
                         const std::string& bytes, bool give_up);
