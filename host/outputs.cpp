#include "host/outputs.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace {

// The folder a new file at `path` would be made in.
std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

}  // namespace

bool CheckOutputs(const std::vector<std::string>& paths, const char* program, std::FILE* diag) {
    bool ok = true;
    for (const std::string& path : paths) {
        if (path.empty() || IsStandardOutput(path)) continue;
        const std::string folder = FolderOf(path);
        struct stat st {};
        int err = 0;
        if (stat(folder.c_str(), &st) != 0)
            err = errno;
        else if (!S_ISDIR(st.st_mode))
            err = ENOTDIR;
        if (err != 0) {
            std::fprintf(diag, "%s: cannot write %s: %s: %s\n", program, path.c_str(),
                         folder.c_str(), std::strerror(err));
            ok = false;
        }
    }
    return ok;
}
