// Fuzz target for the Windows saver's command line as Windows hands it over: the input is
// UTF-16 (little-endian units, split at U+000A into arguments), turned into UTF-8 as
// lumivor.scr does and parsed with its switches. A conversion is refused exactly when an
// argument holds a surrogate without its pair; one that succeeds is valid UTF-8 that gives
// back the same units. The converted arguments parse as CheckParse says of the option table.
#include "cli/options.h"
#include "fuzz/harness.h"
#include "host/windows/utf16.h"

namespace {

// True when `units` has a surrogate without its pair: no Unicode text.
bool HasLoneSurrogate(const std::u16string& units) {
    for (size_t i = 0; i < units.size(); ++i) {
        const bool high = units[i] >= 0xD800 && units[i] <= 0xDBFF;
        const bool low_next =
            i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF;
        if (high && low_next)
            ++i;
        else if (units[i] >= 0xD800 && units[i] <= 0xDFFF)
            return true;
    }
    return false;
}

// Decodes strict UTF-8 (shortest forms, no surrogates, at most U+10FFFF) back to UTF-16;
// false for anything else.
bool DecodeUtf8(const std::string& text, std::u16string* units) {
    static const uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const int extra = lead < 0x80    ? 0
                          : lead >= 0xF0 ? 3
                          : lead >= 0xE0 ? 2
                          : lead >= 0xC0 ? 1
                                         : -1;
        if (extra < 0 || lead >= 0xF8 || i + extra >= text.size() + (extra == 0)) return false;
        uint32_t c = extra == 0 ? lead : lead & (0x3F >> extra);
        for (int k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            c = (c << 6) | (next & 0x3F);
        }
        if (c < kMin[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
        if (c >= 0x10000) {
            units->push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
            units->push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            units->push_back(static_cast<char16_t>(c));
        }
        i += static_cast<size_t>(extra) + 1;
    }
    return true;
}

bool SameScr(const ScrArgs& a, const ScrArgs& b) {
    const WindowJob& x = a.window.job;
    const WindowJob& y = b.window.job;
    return a.mode == b.mode && a.handle == b.handle && a.choose == b.choose &&
           a.window.help == b.window.help && x.start.community == y.start.community &&
           x.start.clock.reading == y.start.clock.reading && x.ticks == y.ticks &&
           x.present == y.present && x.fps == y.fps && x.habitat_path == y.habitat_path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string utf8;  // the converted arguments, one a line, as ArgWords splits them
    std::u16string word;
    for (size_t i = 0; i + 1 < size + 2; i += 2) {
        const bool end = i + 1 >= size;
        const auto unit = end ? u'\n' : static_cast<char16_t>(data[i] | (data[i + 1] << 8));
        if (unit != u'\n') {
            word.push_back(unit);
            continue;
        }
        std::string converted, kept = "x";
        const bool ok = Utf16ToUtf8(word, &converted);
        Check(ok == !HasLoneSurrogate(word));
        std::u16string back;
        if (ok) Check(DecodeUtf8(converted, &back) && back == word);
        // A refused argument leaves the parse below with what came before it.
        if (!ok) return 0;
        utf8 += converted;
        if (!end) utf8 += '\n';
        word.clear();
        if (end) break;
    }
    ArgWords words("lumivor.scr", reinterpret_cast<const uint8_t*>(utf8.data()), utf8.size());
    if (words.argc() > 256) return 0;
    ScrArgs args, again;
    std::string error, error_again;
    const bool ok = ParseScrArgs(words.argc(), words.argv.data(), &args, &error);
    Check(ParseScrArgs(words.argc(), words.argv.data(), &again, &error_again) == ok);
    if (!ok) Check(!error.empty() && error == error_again && error.find('\n') == std::string::npos);
    if (ok)
        Check(SameScr(args, again) && args.choose >= -2 && args.choose <= 9 &&
              args.window.job.start.community >= -1 && args.window.job.start.community <= 9);
    return 0;
}
