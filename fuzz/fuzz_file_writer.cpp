// Fuzz target for the file writer: the first bytes of the input choose a
// target (a new file, a file, a link to one, a link to nothing, a file with a
// second name, a device, the system's view of an open file, a long name), its
// mode and whether the save is given up; the rest is written in pieces.
// Checked on every input, in a private folder:
// - the early check says yes for every target the writer then opens;
// - a committed save leaves exactly the written bytes in the file the target
//   names, links stay links, other names see the new bytes, modes are kept;
// - a save given up before a replacement leaves the old bytes;
// - no temporary is ever left in the folder.
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "image/file_writer.h"

namespace {

namespace fs = std::filesystem;

void Check(bool ok) {
    if (!ok) std::abort();
}

std::string Read(const std::string& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void Write(const std::string& p, const std::string& bytes) {
    std::ofstream out(p, std::ios::binary);
    out << bytes;
    Check(out.good());
}

// A folder of its own under TMPDIR, emptied before each input. libFuzzer may
// end the process without destructors: scripts/fuzz.sh clears TMPDIR.
const std::string& Folder() {
    static const std::string path = [] {
        const char* base = std::getenv("TMPDIR");
        std::string p = std::string(base != nullptr && *base != '\0' ? base : "/tmp") +
                        "/fuzz_file_writer.XXXXXX";
        Check(mkdtemp(p.data()) != nullptr);
        return p;
    }();
    return path;
}

long Entries() {
    return std::distance(fs::directory_iterator(Folder()), {});
}

enum Kind { kNew, kFile, kLink, kDangling, kTwoNames, kDevice, kOpenFile, kLongName, kKinds };

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const std::string& dir = Folder();
    for (const auto& entry : fs::directory_iterator(dir)) fs::remove_all(entry.path());

    const Kind kind = static_cast<Kind>(data[0] % kKinds);
    const bool give_up = (data[0] & 0x80) != 0;
    const mode_t mode = 0600 | (data[1] & 0177);
    const std::string bytes(reinterpret_cast<const char*>(data) + 2, size - 2);
    const std::string old = "old content";
    std::string path = dir + "/target";
    std::string file = path;  // where the bytes end up
    FILE* open_file = nullptr;
    switch (kind) {
        case kNew:
            break;
        case kFile:
        case kTwoNames:
            Write(path, old);
            Check(chmod(path.c_str(), mode) == 0);
            if (kind == kTwoNames) {
                fs::create_hard_link(path, dir + "/other");
            }
            break;
        case kLink:
        case kDangling:
            file = dir + "/named";
            if (kind == kLink) Write(file, old);
            fs::create_symlink("named", path);
            break;
        case kDevice:
            path = file = "/dev/null";
            break;
        case kOpenFile:
            Write(file, old);
            open_file = std::fopen(file.c_str(), "r+");
            Check(open_file != nullptr);
            path = "/proc/self/fd/" + std::to_string(fileno(open_file));
            break;
        case kLongName:
            path = file = dir + "/" + std::string(200 + data[1] % 56, 'n');
            break;
        default:
            std::abort();
    }
    const bool existed = fs::exists(file);
    struct stat before {};
    stat(file.c_str(), &before);

    const long names = Entries();
    std::string reason;
    Check(CheckWritable(path.c_str(), &reason));
    FileWriter out;
    Check(out.Open(path.c_str()));
    // Pieces split at zero bytes, written one by one.
    size_t start = 0;
    while (start <= bytes.size()) {
        size_t end = bytes.find('\0', start);
        if (end == std::string::npos) end = bytes.size();
        Check(std::fwrite(bytes.data() + start, 1, end - start, out.Stream()) == end - start);
        if (end < bytes.size()) Check(std::fputc(0, out.Stream()) == 0);
        start = end + 1;
    }
    if (give_up) {
        const bool replacing = out.Replacing();
        out.Abandon();
        if (replacing && existed) Check(Read(file) == old);
        if (replacing && !existed) Check(!fs::exists(file));
    } else {
        Check(out.Commit());
        // An open file is written from its offset (0 here), without truncation.
        const std::string want = kind == kOpenFile && bytes.size() < old.size()
                                     ? bytes + old.substr(bytes.size())
                                     : bytes;
        if (kind != kDevice) Check(Read(file) == want);
        if (kind == kTwoNames) Check(Read(dir + "/other") == bytes);
        if (kind == kLink || kind == kDangling) Check(fs::is_symlink(path));
        if (kind == kFile || kind == kTwoNames) {
            struct stat after {};
            Check(stat(file.c_str(), &after) == 0);
            Check((after.st_mode & 07777) == (before.st_mode & 07777));
        }
        if (kind == kOpenFile) {  // written into, not replaced
            struct stat after {};
            Check(stat(file.c_str(), &after) == 0 && after.st_ino == before.st_ino);
        }
    }
    if (open_file != nullptr) std::fclose(open_file);
    // Nothing but the names the case made and the file saved: no temporary.
    Check(Entries() == names + (!give_up && !existed && kind != kDevice ? 1 : 0));
    return 0;
}
