#include "tests/support/files.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

bool WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    return static_cast<bool>(out << bytes << std::flush);
}

TempFolder::TempFolder() : path(fs::temp_directory_path() / "lumivor-test-XXXXXX") {
    if (mkdtemp(path.data()) == nullptr) path.clear();
}

TempFolder::~TempFolder() {
    std::error_code ec;
    if (!path.empty()) fs::remove_all(path, ec);
}

long Entries(const std::string& folder) {
    std::error_code ec;
    return std::distance(fs::directory_iterator(folder, ec), {});
}
