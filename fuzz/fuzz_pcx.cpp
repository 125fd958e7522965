// Feeds arbitrary bytes to the PCX reader through a memory stream, then reads every row of the
// bitmap it produced. The library's exceptions are the expected outcome of damaged files.
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
    unsigned sum = 0;
    for (int32_t y = 0; y < graphic.Height(); ++y) sum += graphic.ScanLine(y)[0];
    volatile unsigned sink = sum;
    (void)sink;
    return 0;
}
