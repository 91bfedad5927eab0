// Fuzz target for the Windows saver's command line as Windows hands it over: the input is
// UTF-16 (little-endian units, split at U+000A into arguments), turned into UTF-8 as
// lumivor.scr does, which must refuse what iconv refuses (a surrogate without its pair) and
// give iconv's bytes otherwise; then parsed with the saver's switches as CheckParse says.
#include <iconv.h>

#include "fuzz/harness.h"
#include "host/shared/options.h"
#include "host/windows/utf16.h"

namespace {

// The UTF-8 form of UTF-16LE bytes by iconv; false where there is none.
bool IconvUtf8(std::string in, std::string* out) {
    static const iconv_t utf8_of_utf16 = iconv_open("UTF-8", "UTF-16LE");
    Check(utf8_of_utf16 != reinterpret_cast<iconv_t>(-1));
    iconv(utf8_of_utf16, nullptr, nullptr, nullptr, nullptr);
    out->assign(in.size() * 2, '\0');  // 3 bytes at most for a unit, 4 for a pair
    char* from = in.data();
    char* to = out->data();
    size_t left = in.size(), room = out->size();
    if (iconv(utf8_of_utf16, &from, &left, &to, &room) == static_cast<size_t>(-1)) return false;
    out->resize(out->size() - room);
    return true;
}

bool CanRun(const ScrArgs& a) {
    return a.window.help ||
           (a.choose >= -2 && a.choose <= 9 && a.window.job.start.community >= -1 &&
            a.window.job.start.community <= 9);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string lines;  // the arguments in UTF-8, one a line
    const size_t whole_units = size & ~size_t{1};
    for (size_t start = 0, end = 0; start < whole_units; start = end += 2) {
        std::u16string units;
        for (; end < whole_units && (data[end] != '\n' || data[end + 1] != 0); end += 2)
            units.push_back(static_cast<char16_t>(data[end] | data[end + 1] << 8));
        std::string utf8, expected;
        const bool ok = Utf16ToUtf8(units, &utf8);
        Check(ok == IconvUtf8(std::string(data + start, data + end), &expected));
        if (!ok) return 0;  // lumivor.scr stops there
        Check(utf8 == expected);
        lines += utf8 + '\n';
    }
    CheckParse<ScrArgs>("lumivor.scr", reinterpret_cast<const uint8_t*>(lines.data()), lines.size(),
                        ParseScrArgs, CanRun);
    return 0;
}
