// The converter tool's command line: the options the front end sends for one row, also typed by hand.
#pragma once

#include <string>
#include <vector>

#include "GraphicsTypes.h"
#include "SysUtils.h"

// A command line the tool cannot follow: unknown or malformed option, missing -i / -o.
class EBadOptions : public Exception { using Exception::Exception; };

enum class TSizeMode : unsigned char { Stretch, CutExtend };

struct TConverterOptions {
    bool Help = false;
    std::string InputFile;
    std::string OutputFile;
    bool Overwrite = false;
    bool Rotate = false;
    int RotationDegrees = 0;       // clockwise, as given (any integer)
    bool Resize = false;
    bool SizeInPercent = false;
    int TargetWidth = 0;           // pixels, or percent of the width when SizeInPercent
    int TargetHeight = 0;          // pixels, or percent of the height when SizeInPercent
    TSizeMode SizeMode = TSizeMode::Stretch;
    bool Proportional = false;
    bool DeleteInput = false;
    std::string Effects;           // letters of s, i, b, e in the order given
    bool UseFillColor = false;
    TColor FillColor = clWhite;    // the platform colour value as sent (may be a system colour)
    int BitDepth = 0;              // 0: keep the source's depth; else 1, 4, 8, 15, 16, 24 or 32
};

// Largest accepted pixel side and percentage; the resulting image is checked again after sizing.
constexpr int MaxTargetSide = 65500;
constexpr int MaxPercent = 10000;

// Reads the arguments after the program name (argv[1] ...). Leading arguments before the first
// option that name the tool itself (the launcher passes the tool's own path first, possibly split
// at blanks) are skipped. An argument in option position holding blanks is split like a command
// line with double quotes; a value given in literal double quotes loses them (also when a launcher
// split it at blanks). Raises EBadOptions with a message naming the offending text.
TConverterOptions ParseCommandLine(const std::vector<std::string>& args);

// The usage text printed by --help.
std::string UsageText();
