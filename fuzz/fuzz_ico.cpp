// Arbitrary bytes through the picture layer's TIcon.
#include "FuzzGraphic.h"
#include "Icon.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { return FuzzLoadAndSave<TIcon>(data, size); }
