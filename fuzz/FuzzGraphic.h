// Shared body of the picture-class fuzz targets: arbitrary bytes go to a graphic class's
// LoadFromStream; every input must load or raise one of the program's exceptions, never crash, hang
// or touch memory outside its buffers, and a loaded picture must be usable (it is saved again).
#pragma once

#include <cstddef>
#include <cstdint>

#include "Classes.h"
#include "SysUtils.h"

template <typename TGraphicType>
int FuzzLoadAndSave(const uint8_t* data, size_t size) {
    TPointerStream stream(data, size);
    TGraphicType graphic;
    try {
        graphic.LoadFromStream(stream);
    } catch (const Exception&) {
        return 0;  // a refused file is the expected outcome for most inputs
    }
    TMemoryStream out;
    graphic.SaveToStream(out);
    return 0;
}
