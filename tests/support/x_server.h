// For the window tests: an X server of their own (Xvfb), and programs in child processes.
#pragma once

#include <cstdio>
#include <string>

#include "tests/support/child.h"  // TestChild and ReadFile

typedef struct _XDisplay Display;  // as Xlib names it, without Xlib's macros

// Xvfb (width x height x 24, with further command-line options) on a free display and a
// connection to it; null if it fails.
struct TestXServer {
    std::string display_name;  // ":N"
    Display* display = nullptr;
    std::FILE* server = nullptr;  // Xvfb's standard output
    TestXServer(int width, int height, const std::string& options = "");
    ~TestXServer();
};
