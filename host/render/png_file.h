// Writing a picture read back from OpenGL as a PNG file.
#pragma once

#include <cstdint>
#include <cstdio>

// Writes w x h RGB bytes (bottom row first, as OpenGL reads them) to path as an
// 8-bit RGB PNG with the top row first, through the program's file writer
// (image/file_writer.h): a file is replaced whole or, where replacing would
// change what the user sees, written in place; a device or pipe is written
// into. On failure: a message with the reason on diag and false.
bool WritePNG(const char* path, const uint8_t* rgb, int w, int h, std::FILE* diag);

// The same picture written to an open stream (standard output), which is
// flushed but neither replaced nor closed. On failure: a message on diag and false.
bool WritePNGToStream(std::FILE* out, const uint8_t* rgb, int w, int h, std::FILE* diag);
