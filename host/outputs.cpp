#include "host/outputs.h"

#include "image/file_writer.h"

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
