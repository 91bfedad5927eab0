// Small, strict parsers for command-line values: the whole text must be the
// number, in range, or the parse fails.
#pragma once

#include <string>

bool ParseLong(const std::string& text, long long min, long long max, long long* out);
bool ParseDouble(const std::string& text, double min, double max, double* out);
// "WxH" with both sides positive integers up to `max`.
bool ParseSize(const std::string& text, int max, int* w, int* h);
