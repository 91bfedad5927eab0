// Fuzz targets for the pictures a render starts from, one per reader (built with
// LUMIVOR_FUZZ_PNG or LUMIVOR_FUZZ_BMP): each input is read as a file and as a stream whose
// length cannot be measured (as from a pipe). Both give the same answer; a picture that is
// read has sides 1..32768 and the same RGB rows both ways.
#include <cstring>

#include "fuzz/harness.h"
#include "host/render/picture_reader.h"

namespace {

#ifdef LUMIVOR_FUZZ_PNG
bool (*const ReadPicture)(std::FILE*, HabitatPicture*) = ReadPNGPicture;
#else
bool (*const ReadPicture)(std::FILE*, HabitatPicture*) = ReadBMPPicture;
#endif

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    static MemoryFile input("picture");
    input.Set(data, size);
    HabitatPicture file, stream;
    std::FILE* f = std::fopen(input.Path(), "rb");
    Check(f != nullptr);
    const bool ok = ReadPicture(f, &file);
    std::fclose(f);
    // fmemopen's stream has no descriptor: its length is not measured.
    std::FILE* m = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    Check(m != nullptr);
    Check(ReadPicture(m, &stream) == ok);
    std::fclose(m);
    if (!ok) return 0;
    Check(file.width >= 1 && file.width <= kMaxHabitatSide && file.height >= 1 &&
          file.height <= kMaxHabitatSide);
    Check(stream.width == file.width && stream.height == file.height);
    const size_t bytes = size_t{3} * static_cast<size_t>(file.width) * file.height;
    Check(std::memcmp(file.rows.get(), stream.rows.get(), bytes) == 0);
    return 0;
}
