#include "ConverterOptions.h"

#include <charconv>
#include <cstdint>

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool HasBlank(const std::string& s) {
    for (char c : s)
        if (IsBlank(c)) return true;
    return false;
}

// Splits a command-line text at blanks outside double quotes; quotes group and are dropped.
void SplitCommandText(const std::string& text, std::vector<std::string>& out) {
    std::string current;
    bool inQuotes = false, haveToken = false;
    for (char c : text) {
        if (c == '"') {
            inQuotes = !inQuotes;
            haveToken = true;
        } else if (IsBlank(c) && !inQuotes) {
            if (haveToken) out.push_back(current);
            current.clear();
            haveToken = false;
        } else {
            current += c;
            haveToken = true;
        }
    }
    if (haveToken) out.push_back(current);
}

// The tool's own file name, as the launcher passes it first.
bool NamesThisTool(const std::string& path) {
    std::string name = path;
    size_t cut = name.find_last_of("/\\:");
    if (cut != std::string::npos) name.erase(0, cut + 1);
    return SameText(name, "VarnelSilent") || SameText(name, "VarnelSilent.exe");
}

// A whole decimal number with an optional minus sign and nothing else.
bool ParseInt(const std::string& text, int& value) {
    if (text.empty() || text[0] == '+') return false;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end;
}

[[noreturn]] void Bad(const std::string& message) { throw EBadOptions(message); }

}  // namespace

TConverterOptions ParseCommandLine(const std::vector<std::string>& args) {
    // Normalise the words: split option words that hold blanks, join literally quoted values.
    std::vector<std::string> words;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (!a.empty() && a[0] == '"') {
            std::string joined = a;
            while ((joined.size() < 2 || joined.back() != '"') && i + 1 < args.size()) joined += " " + args[++i];
            if (joined.size() < 2 || joined.back() != '"') Bad(Format("Unbalanced quotes in \"%s\"", {joined}));
            words.push_back(joined.substr(1, joined.size() - 2));
        } else if (!a.empty() && a[0] == '-' && HasBlank(a)) {
            SplitCommandText(a, words);
        } else {
            words.push_back(a);
        }
    }

    size_t pos = 0;
    // The launcher passes the tool's own path first; it may have been split at blanks.
    std::string lead;
    size_t firstOption = 0;
    while (firstOption < words.size() && (words[firstOption].empty() || words[firstOption][0] != '-')) {
        lead += (firstOption ? " " : "") + words[firstOption];
        ++firstOption;
    }
    if (firstOption > 0) {
        if (!NamesThisTool(lead)) Bad(Format("Unexpected argument \"%s\"; options begin with \"-\"", {lead}));
        pos = firstOption;
    }

    TConverterOptions o;
    bool seen[16] = {};
    auto once = [&](int slot, const std::string& name) {
        if (seen[slot]) Bad(Format("Option %s is given twice", {name}));
        seen[slot] = true;
    };
    auto value = [&](const std::string& name) -> std::string {
        if (pos >= words.size()) Bad(Format("Option %s needs a value", {name}));
        return words[pos++];
    };

    while (pos < words.size()) {
        const std::string opt = words[pos++];
        if (opt == "--help" || opt == "-h" || opt == "-?" || opt == "/?") {
            o.Help = true;
        } else if (opt == "-i") {
            once(0, opt);
            o.InputFile = value(opt);
            if (o.InputFile.empty()) Bad("Option -i needs a file name");
        } else if (opt == "-o") {
            once(1, opt);
            o.OutputFile = value(opt);
            if (o.OutputFile.empty()) Bad("Option -o needs a file name");
        } else if (opt == "-ow") {
            once(2, opt);
            o.Overwrite = true;
        } else if (opt == "-r") {
            once(3, opt);
            std::string v = value(opt);
            if (!ParseInt(v, o.RotationDegrees)) Bad(Format("Invalid rotation \"%s\" for -r; expected whole degrees", {v}));
            o.Rotate = true;
        } else if (opt == "-s") {
            once(4, opt);
            std::string v = value(opt);
            if (!v.empty() && v.back() == '%') {
                int p = 0;
                if (!ParseInt(v.substr(0, v.size() - 1), p) || p < 1 || p > MaxPercent)
                    Bad(Format("Invalid size \"%s\" for -s; expected a percentage from 1 to %d", {v, MaxPercent}));
                o.SizeInPercent = true;
                o.TargetWidth = o.TargetHeight = p;
            } else {
                size_t x = v.find_first_of("xX");
                int w = 0, h = 0;
                if (x == std::string::npos || !ParseInt(v.substr(0, x), w) || !ParseInt(v.substr(x + 1), h) || w < 1 ||
                    h < 1 || w > MaxTargetSide || h > MaxTargetSide)
                    Bad(Format("Invalid size \"%s\" for -s; expected WIDTHxHEIGHT (1 to %d) or PERCENT%%",
                               {v, MaxTargetSide}));
                o.TargetWidth = w;
                o.TargetHeight = h;
            }
            o.Resize = true;
        } else if (opt == "-x") {
            once(5, opt);
            std::string v = value(opt);
            if (v == "s" || v == "sp") o.SizeMode = TSizeMode::Stretch;
            else if (v == "c" || v == "cp") o.SizeMode = TSizeMode::CutExtend;
            else Bad(Format("Invalid mode \"%s\" for -x; expected s, sp, c or cp", {v}));
            o.Proportional = v.size() == 2;
        } else if (opt == "-d") {
            once(6, opt);
            o.DeleteInput = true;
        } else if (opt == "-e") {
            once(7, opt);
            std::string v = value(opt);
            if (v.empty()) Bad("Option -e needs effect letters (s, i, b, e)");
            for (char c : v)
                if (c != 's' && c != 'i' && c != 'b' && c != 'e')
                    Bad(Format("Invalid effect \"%s\" for -e; expected letters s, i, b, e", {v}));
            o.Effects = v;
        } else if (opt == "-c") {
            once(8, opt);
            std::string v = value(opt);
            int c = 0;
            if (!ParseInt(v, c)) Bad(Format("Invalid colour \"%s\" for -c; expected a decimal colour value", {v}));
            o.UseFillColor = true;
            o.FillColor = c;
        } else if (opt == "-bit") {
            once(9, opt);
            std::string v = value(opt);
            int b = 0;
            if (!ParseInt(v, b) || (b != 1 && b != 4 && b != 8 && b != 15 && b != 16 && b != 24 && b != 32 && b != 36))
                Bad(Format("Invalid bit depth \"%s\" for -bit; expected 1, 4, 8, 15, 16, 24 or 32", {v}));
            o.BitDepth = b == 36 ? 32 : b;
        } else {
            Bad(Format("Unknown option \"%s\"; see --help", {opt}));
        }
    }
    if (o.Help) return o;
    if (o.InputFile.empty()) Bad("The input file is missing (-i \"file\"); see --help");
    if (o.OutputFile.empty()) Bad("The output file is missing (-o \"file\"); see --help");
    return o;
}

std::string UsageText() {
    return "Usage: VarnelSilent -i \"input\" -o \"output\" [options]\n"
           "Converts one image file. The type of the output follows its extension:\n"
           "  .bmp, .jpg/.jpeg, .gif, .png, .tga\n"
           "\n"
           "Options (an option left out changes nothing):\n"
           "  -i \"file\"      the input image (required)\n"
           "  -o \"file\"      the output image (required)\n"
           "  -ow            overwrite an existing output file\n"
           "  -r N           rotate N degrees clockwise (any angle; 90, 180, 270 are lossless)\n"
           "  -s WxH         target size in pixels (1 to 65500 each)\n"
           "  -s P%          target size in percent of each side (1 to 10000)\n"
           "  -x s|sp|c|cp   with -s: s stretches to the size, c cuts or extends the canvas around\n"
           "                 the centre; p keeps the proportions (sp fits inside, cp fits inside and\n"
           "                 then extends to the size). Default: s\n"
           "  -d             delete the input file after a successful conversion\n"
           "  -e LETTERS     effects, applied in this order: s sepia, i invert, b grey scale, e emboss\n"
           "  -c N           fill colour for new canvas, rotation corners and transparency,\n"
           "                 red + 256 x green + 65536 x blue (negative: system colour). Default white\n"
           "  -bit N         bit depth: 1, 4, 8 (palette), 15, 16, 24, 32 (with alpha); 36 means 32.\n"
           "                 Default: the source's depth where the output type allows it\n"
           "  --help         this text\n"
           "\n"
           "Exit codes:\n"
           "  0  success\n"
           "  1  bad command line (unknown or malformed option, missing -i or -o, unknown output type)\n"
           "  2  the input cannot be read (missing, unsupported type, damaged)\n"
           "  3  the output file exists and -ow was not given\n"
           "  4  the output cannot be written\n"
           "  5  converted, but the input could not be deleted (-d)\n"
           "  6  the image cannot be processed (result too large, out of memory)\n";
}
