// Feeds arbitrary bytes to the PCX reader through a memory stream, then reads the first and the
// last row of the bitmap it produced. The library's exceptions are the expected outcome of damaged
// files.
#include <cstddef>
#include <cstdint>

#include "Classes.h"
#include "PCXGraphic.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TMemoryStream stream(data, size);
    TPCXGraphic::AcceptsStream(stream);
    TPCXGraphic graphic;
    try {
        graphic.LoadFromStream(stream);
    } catch (const Exception&) {
        return 0;
    }
    if (graphic.Height() == 0) return 0;
    volatile unsigned sink = graphic.ScanLine(0)[0] + graphic.ScanLine(graphic.Height() - 1)[graphic.RowStride() - 1];
    (void)sink;
    return 0;
}
