// The image library's texts: messages and format descriptions. Messages with %s are filled through
// Format. One section per area of the library; each text is used exactly as it stands here.
#pragma once

namespace GraphicStrings {

// --- Image base class and progress (VaderezUv) ---
inline constexpr const char* gesInvalidImage = "Cannot load image. Invalid or unexpected %s image format.";
inline constexpr const char* gesPreparing = "Preparing...";
inline constexpr const char* gesLoadingData = "Loading data...";
inline constexpr const char* gesUpsampling = "Upsampling...";
inline constexpr const char* gesTransfering = "Transfering...";

// --- Format list (VaderezUv) ---
inline constexpr const char* gesRegistration = "Attempt to register %s twice.";

// --- Colour manager (GraphicColor) ---

// --- Decoders (GraphicCompression) ---

// --- Readers ---

}  // namespace GraphicStrings
