// Loads arbitrary bytes as a Targa file; every file that loads is also written back and read again.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "Classes.h"
#include "TargaGraphic.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TMemoryStream stream(data, size);
    TTargaGraphic image;
    try {
        TTargaGraphic::AcceptsStream(stream);
        if (stream.Position() != 0) std::abort();
        image.LoadFromStream(stream);
    } catch (const Exception&) {
        return 0;  // refusing a damaged file is expected
    }
    // An empty image writes nothing; very large ones are not worth the time here.
    if (image.Empty() || uint64_t(image.Width()) * uint64_t(image.Height()) > (uint64_t(1) << 16)) return 0;
    TMemoryStream written;
    image.SaveToStream(written, (size & 1) != 0);
    written.SetPosition(0);
    TTargaGraphic again;
    again.LoadFromStream(written);
    if (again.Width() != image.Width() || again.Height() != image.Height()) std::abort();
    if (again.PixelFormat() != image.PixelFormat()) std::abort();
    const size_t rowBytes = size_t(image.Width()) * size_t(image.BitsPerPixel() / 8);
    for (int32_t r = 0; r < image.Height(); ++r)
        if (std::memcmp(again.ScanLine(r), image.ScanLine(r), rowBytes) != 0) std::abort();
    return 0;
}
