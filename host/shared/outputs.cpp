#include "host/shared/outputs.h"

#include "bots/messages.h"
#include "image/file_writer.h"
#include "saver/saver.h"
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

bool SaveHabitatAtEnd(const std::string& path, const char* program, std::FILE* diag) {
    if (path.empty() || biotope.SaveHabitat(OutputName(path), kTopRowFirst)) return true;
    std::fprintf(diag, "%s: cannot save %s\n", program, path.c_str());
    return false;
}

void RouteMessages(bool quiet, bool picture_to_stdout) {
    if (quiet) {
        trace_stream = nullptr;
        notice_stream = nullptr;
    } else if (picture_to_stdout) {
        trace_stream = stderr;
    }
}

void PrintFinalState() {
    char line[1024];
    if (FormatFinalState(line, sizeof line) >= 0) std::printf("%s\n", line);
}
