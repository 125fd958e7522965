#include "JPEGImage.h"

const TGraphicClass TJPEGImage::Class{"TJPEGImage", &TGraphic::Class, &CreateGraphicInstance<TJPEGImage>, nullptr};

void TJPEGImage::LoadFromStream(TStream&) { throw EInvalidGraphic("not yet"); }
void TJPEGImage::SaveToStream(TStream& stream) { stream.WriteBuffer(data_.data(), int64_t(data_.size())); }
void TJPEGImage::Assign(const TGraphic& source) { TGraphic::Assign(source); }
void TJPEGImage::AssignTo(TGraphic& dest) const { TGraphic::AssignTo(dest); }
