// What the option-table targets check of the outputs a command line names, settled against
// a scratch folder holding a file, a symbolic link and a hard link to it, a link to no file
// and a folder: settling only looks, answers 0, 1 or 2 with one line for a refusal, and what
// it accepts puts at most one output (or `stdout_user`) on standard output, every other name
// of standard output turned into "-", and no two outputs on one file or on `input`.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "fuzz/harness.h"
#include "host/shared/outputs.h"

// The scratch folder (under $TMPDIR, which the fuzz script keeps in its build folder), made
// once and entered for each settling (and left again, for libFuzzer's relative paths):
// "f" a file, "link" and "hard" its other names, "dangling" a link to "new", "dir" a folder.
struct InScratch {
    int home = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    InScratch() {
        static const std::string dir = [] {
            const char* tmp = std::getenv("TMPDIR");
            std::string d =
                std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/lumivor-fuzz-XXXXXX";
            Check(mkdtemp(d.data()) != nullptr && chdir(d.c_str()) == 0);
            const int f = open("f", O_WRONLY | O_CREAT, 0600);
            Check(f >= 0 && close(f) == 0 && symlink("f", "link") == 0 && link("f", "hard") == 0 &&
                  symlink("new", "dangling") == 0 && mkdir("dir", 0700) == 0);
            return d;
        }();
        Check(home >= 0 && chdir(dir.c_str()) == 0);
    }
    ~InScratch() { Check(fchdir(home) == 0 && close(home) == 0); }
};

inline void CheckSettled(const std::vector<NamedOutput>& outputs, const std::string& input,
                         const char* stdout_user) {
    const InScratch scratch;
    char* said = nullptr;
    size_t said_size = 0;
    std::FILE* diag = open_memstream(&said, &said_size);
    Check(diag != nullptr);
    const int status = SettleOutputs(outputs, input.c_str(), stdout_user, "lumivor", diag);
    Check(std::fclose(diag) == 0);
    const std::string message(said, said_size);
    std::free(said);
    Check(status == 0 ? message.empty()
                      : (status == 1 || status == 2) && message.find('\n') == message.size() - 1);
    if (status != 0) return;
    int on_stdout = stdout_user != nullptr ? 1 : 0;
    std::set<std::string> files;  // each file by one name: "f" for all of f's
    for (const NamedOutput& output : outputs) {
        const std::string& p = *output.path;
        on_stdout += p == "-";
        Check(p != "/dev/stdout" && p != "/dev/fd/1" && p != "/proc/self/fd/1" &&
              p != "/dev/stdin" && p != "/dev/fd/0" && p != "/dev/stderr");
        struct stat st;
        if (p.empty() || p == "-" || (stat(p.c_str(), &st) == 0 && S_ISCHR(st.st_mode))) continue;
        Check(p != input &&
              files.insert(p == "link" || p == "hard" || p == "./f" ? "f" : p).second);
    }
    Check(on_stdout <= 1);
}
