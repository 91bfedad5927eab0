#include "cli/args.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

bool ParseLong(const std::string& text, long long min, long long max, long long* out) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || end == text.c_str() || *end != '\0') return false;
    if (v < min || v > max) return false;
    *out = v;
    return true;
}

bool ParseDouble(const std::string& text, double min, double max, double* out) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (errno != 0 || end == text.c_str() || *end != '\0' || !std::isfinite(v)) return false;
    if (v < min || v > max) return false;
    *out = v;
    return true;
}

bool ParseSize(const std::string& text, int max, int* w, int* h) {
    const size_t x = text.find_first_of("xX");
    if (x == std::string::npos) return false;
    long long a = 0, b = 0;
    if (!ParseLong(text.substr(0, x), 1, max, &a)) return false;
    if (!ParseLong(text.substr(x + 1), 1, max, &b)) return false;
    *w = static_cast<int>(a);
    *h = static_cast<int>(b);
    return true;
}
