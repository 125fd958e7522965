#include "Icon.h"

const TGraphicClass TIcon::Class{"TIcon", &TGraphic::Class, &CreateGraphicInstance<TIcon>, nullptr};

void TIcon::LoadFromStream(TStream&) { throw EInvalidGraphic("not yet"); }
void TIcon::SaveToStream(TStream& stream) { stream.WriteBuffer(data_.data(), int64_t(data_.size())); }
void TIcon::Assign(const TGraphic& source) { TGraphic::Assign(source); }
void TIcon::AssignTo(TGraphic& dest) const { TGraphic::AssignTo(dest); }
