// The files a run will write: where they go and whether they can be written,
// checked before the first tick so that a long run never ends in a refusal.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

// "-" as an output path: standard output.
inline bool IsStandardOutput(const std::string& path) {
    return path == "-";
}

// The name to open for an output path: standard output for "-". Only for
// writers that write into what a link names and never replace it.
inline const char* OutputName(const std::string& path) {
    return IsStandardOutput(path) ? "/dev/stdout" : path.c_str();
}

// True when every non-empty path could be written now (the file writer's own
// check: nothing is created or truncated). Otherwise one line per refusal on
// diag, prefixed by `program`, with the system's reason, and false.
bool CheckOutputs(const std::vector<std::string>& paths, const char* program, std::FILE* diag);

// A run's end: saves the world's habitat file, top row first, to `path` ("-":
// standard output). True when written; otherwise a line on diag, prefixed by
// `program`, and false. An empty path asks for nothing and is true.
bool SaveHabitatAtEnd(const std::string& path, const char* program, std::FILE* diag);

// Where the system's own messages go: nowhere when quiet; to standard error
// when a picture goes to standard output, so that they never mix with it.
void RouteMessages(bool quiet, bool picture_to_stdout);

// Prints the line that ends a reproducible run (FormatFinalState) on standard output.
void PrintFinalState();
