#include "host/outputs.h"

#include "image/file_writer.h"
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

bool SaveRenderedHabitat(const std::string& path, std::FILE* diag) {
    if (path.empty() || biotope.SaveHabitat(OutputName(path), kTopRowFirst)) return true;
    std::fprintf(diag, "lumivor render: cannot save %s\n", path.c_str());
    return false;
}
