// The command line as Windows keeps it, in UTF-16, turned into the UTF-8
// arguments the program works with everywhere: names outside the ANSI code
// page (CJK, emoji) survive, where the narrow argv would have replaced them.
#pragma once

#include <string>
#include <vector>

class Utf8CommandLine {
  public:
    // Reads and converts the process's command line. False, with a one-line
    // reason in `error`, when it cannot be read or an argument is not Unicode.
    bool Read(std::string* error);
    int argc() const { return static_cast<int>(words_.size()); }
    // argv[0..argc-1] and a null after them, valid while this object lives.
    char** argv() { return pointers_.data(); }

  private:
    std::vector<std::string> words_;
    std::vector<char*> pointers_;
};
