#include "bots/messages.h"

#include <cstdarg>

std::FILE* trace_stream = stdout;
std::FILE* notice_stream = stderr;

void Trace(const char* format, ...) {
    if (trace_stream == nullptr) return;
    va_list args;
    va_start(args, format);
    std::vfprintf(trace_stream, format, args);
    va_end(args);
}

void Notice(const char* format, ...) {
    if (notice_stream == nullptr) return;
    va_list args;
    va_start(args, format);
    std::vfprintf(notice_stream, format, args);
    va_end(args);
}
