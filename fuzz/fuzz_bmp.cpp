// Arbitrary bytes through the picture layer's TBitmap.
#include "FuzzGraphic.h"
#include "Graphics.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { return FuzzLoadAndSave<TBitmap>(data, size); }
