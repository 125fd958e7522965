#include "Metafile.h"

const TGraphicClass TMetafile::Class{"TMetafile", &TGraphic::Class, &CreateGraphicInstance<TMetafile>, nullptr};

void TMetafile::LoadFromStream(TStream&) { throw EInvalidGraphic("not yet"); }
void TMetafile::SaveToStream(TStream& stream) { stream.WriteBuffer(data_.data(), int64_t(data_.size())); }
void TMetafile::Assign(const TGraphic& source) { TGraphic::Assign(source); }
void TMetafile::LoadEnhanced(TStream&, int64_t) {}
void TMetafile::LoadWindows(TStream&, int64_t) {}
