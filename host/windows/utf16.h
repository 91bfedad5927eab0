// UTF-16, as Windows keeps its command line, to the UTF-8 the program works
// with everywhere. Plain C++, so that it is built and fuzzed on every system.
#pragma once

#include <string>
#include <string_view>

// Replaces `out` with `text` in UTF-8. False for text that is not UTF-16 (a
// surrogate without its pair), which has no UTF-8 form: refused, not guessed.
bool Utf16ToUtf8(std::u16string_view text, std::string* out);
