#include "host/windows/command_line.h"

#include <windows.h>
// windows.h first: shellapi.h needs its types.
#include <shellapi.h>

bool Utf8CommandLine::Read(std::string* error) {
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) {
        *error = "cannot read the command line (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    words_.clear();
    for (int i = 0; i < count; ++i) {
        // Invalid UTF-16 (a lone surrogate) has no UTF-8 form: refused, not guessed.
        const int n = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide[i], -1, nullptr, 0,
                                          nullptr, nullptr);
        std::string word(n > 0 ? static_cast<size_t>(n) : 1, '\0');
        if (n <= 0 || WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide[i], -1, word.data(),
                                          n, nullptr, nullptr) != n) {
            *error = "argument " + std::to_string(i) + " is not valid Unicode";
            LocalFree(wide);
            return false;
        }
        word.resize(static_cast<size_t>(n) - 1);  // without the terminating null
        words_.push_back(std::move(word));
    }
    LocalFree(wide);
    pointers_.clear();
    for (std::string& word : words_) pointers_.push_back(word.data());
    pointers_.push_back(nullptr);
    return true;
}
