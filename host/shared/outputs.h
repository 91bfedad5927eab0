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

// One output of a run: the option that names it and its path ("" for none).
struct NamedOutput {
    const char* option;  // "--habitat", "--png", ...
    std::string* path;   // set to "-" when it names standard output by another name
};

// Settles, before anything runs, what a run's outputs name. A path that names
// the process's standard output (/dev/stdout, /dev/fd/1, /proc/self/fd/1, or
// the very file the shell opened as standard output) becomes "-", so that it
// is written exactly as "-" is. Refused with one line on diag: an output that
// names standard input or standard error (status 2); two outputs on standard
// output, or one there beside `stdout_user` (an option that prints there, or
// null) (status 2); two outputs that are one file, through links too, or an
// output that is the file `input` reads (status 2; character devices such as
// /dev/null excepted); a standard stream closed at start as an output, or as
// the `input`, or a descriptor name that is not open (status 1). Returns 0
// when settled.
int SettleOutputs(const std::vector<NamedOutput>& outputs, const char* input,
                  const char* stdout_user, const char* program, std::FILE* diag);

// What every command and host does before its first tick: SettleOutputs, then
// CheckOutputs on what is left, then RouteMessages. Returns 0, or the exit
// status after one line on diag.
int SettleRunOutputs(const std::vector<NamedOutput>& outputs, const char* input,
                     const char* stdout_user, bool quiet, const char* program, std::FILE* diag);

// Opens each of the descriptors 0, 1 and 2 that is closed on /dev/null, first
// thing, so that no file or connection the program opens later becomes a
// standard stream and receives its messages or pictures. An output that names
// a stream closed at start is still refused (SettleOutputs).
void OpenClosedStandardStreams();

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
