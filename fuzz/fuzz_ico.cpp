// Feeds arbitrary bytes to the picture layer's TIcon: every input must load or raise one of the
// program's exceptions, never crash, hang or touch memory outside its buffers.
#include <cstddef>
#include <cstdint>

#include "Classes.h"
#include "Icon.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TMemoryStream stream(data, size);
    TIcon graphic;
    try {
        graphic.LoadFromStream(stream);
    } catch (const Exception&) {
        return 0;  // a refused file is the expected outcome for most inputs
    }
    // A loaded picture must be usable: save it again.
    TMemoryStream out;
    graphic.SaveToStream(out);
    return 0;
}
