// Files for the tests: whole files read and written, and a folder of a test's own.
#pragma once

#include <string>

// The whole content of a file; empty when it cannot be read.
std::string ReadFile(const std::string& path);
// Replaces the content of a file; false when that fails.
bool WriteFile(const std::string& path, const std::string& bytes);
// How many names a folder holds (0 when it cannot be read).
long Entries(const std::string& folder);

// A new folder under the system's temporary folder, removed with all it holds.
struct TempFolder {
    std::string path;
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    std::string operator/(const std::string& name) const { return path + "/" + name; }
};
