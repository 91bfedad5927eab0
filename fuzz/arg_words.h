// Fuzz input as a command line: split at line ends into arguments after argv[0].
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct ArgWords {
    std::vector<std::string> words;
    std::vector<char*> argv;  // into words, null-terminated

    ArgWords(const char* first, const uint8_t* data, size_t size) : words{first} {
        std::string word;
        for (size_t i = 0; i < size; ++i) {
            if (data[i] == '\n') {
                words.push_back(word);
                word.clear();
            } else {
                word.push_back(static_cast<char>(data[i]));
            }
        }
        if (!word.empty()) words.push_back(word);
        for (std::string& w : words) argv.push_back(w.data());
        argv.push_back(nullptr);
    }
    int argc() const { return static_cast<int>(words.size()); }
};
