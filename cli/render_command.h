#pragma once

#include <cstdio>

// `lumivor render ...`: argv[0] is "render". Returns the exit status.
int RenderCommand(int argc, char** argv, std::FILE* diag_if_quiet);
