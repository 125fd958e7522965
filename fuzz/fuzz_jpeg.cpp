// Arbitrary bytes through the picture layer's TJPEGImage.
#include "FuzzGraphic.h"
#include "JPEGImage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { return FuzzLoadAndSave<TJPEGImage>(data, size); }
