// Fuzz target for the file writer: the first input byte chooses the kind of target and whether
// the save is given up, the second the mode of an existing file; the rest is written in
// pieces. Each input is checked as the file writer's test checks every kind of target, in a
// folder of its own under TMPDIR (scripts/fuzz.sh empties it: libFuzzer may end the process
// without destructors).
#include <filesystem>

#include "fuzz/harness.h"
#include "tests/support/files.h"
#include "tests/support/write_target.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const TempFolder folder;
    const std::string& dir = folder.path;
    Check(!dir.empty());
    if (size < 2) return 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        std::filesystem::remove_all(entry.path());
    const std::string bytes(reinterpret_cast<const char*>(data) + 2, size - 2);
    Check(SaveAndCheck(WriteKind(data[0] % kWriteKinds), dir, 0600 | (data[1] & 0177), bytes,
                       (data[0] & 0x80) != 0)
              .empty());
    return 0;
}
