#include "host/windows/command_line.h"

#include <windows.h>
// windows.h first: shellapi.h needs its types.
#include <shellapi.h>

#include <cwchar>

#include "host/windows/utf16.h"

bool Utf8CommandLine::Read(std::string* error) {
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) {
        *error = "cannot read the command line (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    words_.clear();
    for (int i = 0; i < count; ++i) {
        // wchar_t is one UTF-16 unit on Windows: copied unit by unit, not reinterpreted.
        const std::u16string units(wide[i], wide[i] + std::wcslen(wide[i]));
        std::string word;
        if (!Utf16ToUtf8(units, &word)) {
            *error = "argument " + std::to_string(i) + " is not valid Unicode";
            LocalFree(wide);
            return false;
        }
        words_.push_back(std::move(word));
    }
    LocalFree(wide);
    pointers_.clear();
    for (std::string& word : words_) pointers_.push_back(word.data());
    pointers_.push_back(nullptr);
    return true;
}
