// The converter tool: one run converts one image file as the command line asks.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ConverterOptions.h"
#include "ImagePipeline.h"
#include "ImageWriters.h"

// Exit codes of the tool (also listed by --help).
enum TExitCode : int {
    ecSuccess = 0,
    ecBadOptions = 1,      // unknown or malformed option, missing -i / -o, unknown output type
    ecInputFailed = 2,     // the input is missing, of an unsupported type or damaged
    ecOutputExists = 3,    // the output exists and -ow was not given
    ecWriteFailed = 4,     // the output cannot be written
    ecDeleteFailed = 5,    // converted, but the input could not be deleted (-d)
    ecProcessFailed = 6,   // the image cannot be processed (result too large, out of memory)
};

// Decodes an input file; raises on failure.
using TImageLoader = std::function<TSourceImage(const std::string& fileName)>;

// Decodes a file through the picture layer with the image library's registrations. Metafiles are
// refused with EInvalidGraphic naming the file.
TSourceImage LoadSourceImage(const std::string& fileName);

// The bits per pixel the output is written with: the -bit request (0: the source's depth) as the
// output type can hold it.
int OutputBits(TOutputType type, int requestedBits, const TSourceImage& source);

// The image processing and encoding of one conversion: effects, rotation, size, bit depth, then the
// file bytes of the output type.
std::vector<uint8_t> ConvertImage(TSourceImage source, const TConverterOptions& options, TOutputType type);

// A whole run over the arguments after the program name: parse, check, load, convert, write safely,
// delete the input when asked. Messages go through the platform's message boxes (on the console:
// one line on standard error); --help prints the usage on standard output. Returns the exit code.
int RunConverter(const std::vector<std::string>& args, const TImageLoader& loader = LoadSourceImage);
