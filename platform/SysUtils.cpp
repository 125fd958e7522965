#include "SysUtils.h"

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

EListError::EListError(int64_t index) : Exception(Format("List index out of bounds (%d)", {index})) {}

void Abort() { throw EAbort(); }

// ---------------------------------------------------------------------------
// Format

namespace {

[[noreturn]] void FormatError(std::string_view format) {
    throw EConvertError(Format("Format '%s' invalid or incompatible with argument", {format}));
}

std::string Pad(std::string text, int width, bool left) {
    if (width > 0 && int(text.size()) < width) {
        std::string fill(size_t(width) - text.size(), ' ');
        text = left ? text + fill : fill + text;
    }
    return text;
}

// Minimum digit count for integers ("%.3d" gives 007).
std::string WithPrecision(std::string digits, int precision) {
    bool negative = !digits.empty() && digits[0] == '-';
    std::string body = negative ? digits.substr(1) : digits;
    if (precision > 0 && int(body.size()) < precision) body.insert(0, size_t(precision) - body.size(), '0');
    return negative ? "-" + body : body;
}

std::string Printf(const char* spec, double value) {
    char buffer[512];
    int n = std::snprintf(buffer, sizeof buffer, spec, value);
    if (n < 0) return {};
    if (size_t(n) < sizeof buffer) return std::string(buffer, size_t(n));
    std::string big(size_t(n) + 1, '\0');
    std::snprintf(big.data(), big.size(), spec, value);
    big.resize(size_t(n));
    return big;
}

}  // namespace

std::string Format(std::string_view format, std::initializer_list<FormatArg> args) {
    std::string out;
    out.reserve(format.size() + 16);
    const FormatArg* argv = args.begin();
    const size_t argc = args.size();
    size_t next = 0;
    size_t i = 0;
    while (i < format.size()) {
        char c = format[i++];
        if (c != '%') {
            out += c;
            continue;
        }
        if (i >= format.size()) FormatError(format);
        if (format[i] == '%') {
            out += '%';
            ++i;
            continue;
        }
        // [index:]
        size_t save = i;
        long number = -1;
        while (i < format.size() && std::isdigit(static_cast<unsigned char>(format[i]))) {
            number = (number < 0 ? 0 : number) * 10 + (format[i] - '0');
            if (number > 1000000) FormatError(format);
            ++i;
        }
        if (i < format.size() && format[i] == ':' && number >= 0) {
            next = size_t(number);
            ++i;
        } else {
            i = save;
        }
        bool left = false;
        if (i < format.size() && format[i] == '-') {
            left = true;
            ++i;
        }
        int width = 0;
        while (i < format.size() && std::isdigit(static_cast<unsigned char>(format[i]))) {
            width = width * 10 + (format[i] - '0');
            if (width > 100000) FormatError(format);
            ++i;
        }
        int precision = -1;
        if (i < format.size() && format[i] == '.') {
            ++i;
            precision = 0;
            while (i < format.size() && std::isdigit(static_cast<unsigned char>(format[i]))) {
                precision = precision * 10 + (format[i] - '0');
                if (precision > 1000) FormatError(format);
                ++i;
            }
        }
        if (i >= format.size()) FormatError(format);
        char type = char(std::tolower(static_cast<unsigned char>(format[i++])));
        if (next >= argc) FormatError(format);
        const auto& value = argv[next++].Value();
        std::string text;
        switch (type) {
        case 'd':
        case 'u':
            if (auto p = std::get_if<int64_t>(&value))
                text = WithPrecision(std::to_string(type == 'u' ? int64_t(uint32_t(*p)) : *p), precision);
            else if (auto q = std::get_if<uint64_t>(&value))
                text = WithPrecision(std::to_string(*q), precision);
            else
                FormatError(format);
            break;
        case 'x': {
            uint64_t v;
            if (auto p = std::get_if<int64_t>(&value))
                v = *p < 0 && *p >= std::numeric_limits<int32_t>::min() ? uint32_t(*p) : uint64_t(*p);
            else if (auto q = std::get_if<uint64_t>(&value))
                v = *q;
            else
                FormatError(format);
            char buffer[32];
            std::snprintf(buffer, sizeof buffer, "%llX", static_cast<unsigned long long>(v));
            text = WithPrecision(buffer, precision);
            break;
        }
        case 's':
            if (auto p = std::get_if<std::string>(&value))
                text = precision >= 0 && size_t(precision) < p->size() ? p->substr(0, size_t(precision)) : *p;
            else
                FormatError(format);
            break;
        case 'f':
        case 'e':
        case 'g':
        case 'n':
        case 'm': {
            double v;
            if (auto p = std::get_if<double>(&value))
                v = *p;
            else if (auto q = std::get_if<int64_t>(&value))
                v = double(*q);
            else if (auto r = std::get_if<uint64_t>(&value))
                v = double(*r);
            else
                FormatError(format);
            std::string spec = "%." + std::to_string(precision < 0 ? (type == 'g' ? 15 : 2) : precision) +
                               (type == 'n' || type == 'm' ? 'f' : type);
            text = Printf(spec.c_str(), v);
            break;
        }
        case 'p':
            if (auto p = std::get_if<uint64_t>(&value)) {
                char buffer[32];
                std::snprintf(buffer, sizeof buffer, "%08llX", static_cast<unsigned long long>(*p));
                text = buffer;
            } else {
                FormatError(format);
            }
            break;
        default:
            FormatError(format);
        }
        out += Pad(std::move(text), width, left);
    }
    return out;
}

// ---------------------------------------------------------------------------
// Numbers

std::string IntToStr(int64_t value) { return std::to_string(value); }

namespace {
bool ParseInt(std::string_view text, int32_t& result) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    int base = 10;
    if (i < text.size() && text[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= text.size()) return false;
    int64_t value = 0;
    for (; i < text.size(); ++i) {
        char c = text[i];
        int digit;
        if (c >= '0' && c <= '9') digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        else return false;
        value = value * base + digit;
        // Hex texts may name the full unsigned 32-bit range; decimal stays in the signed range.
        if (value > (base == 16 ? int64_t(0xFFFFFFFF) : int64_t(0x80000000))) return false;
    }
    if (negative) value = -value;
    if (base == 10 && (value > std::numeric_limits<int32_t>::max() || value < std::numeric_limits<int32_t>::min()))
        return false;
    result = int32_t(uint32_t(value));
    return true;
}
}  // namespace

int32_t StrToInt(std::string_view text) {
    int32_t result;
    if (!ParseInt(text, result)) throw EConvertError(Format("'%s' is not a valid integer value", {text}));
    return result;
}

int32_t StrToIntDef(std::string_view text, int32_t fallback) {
    int32_t result;
    return ParseInt(text, result) ? result : fallback;
}

int64_t Round(double value) { return int64_t(std::nearbyint(value)); }

int32_t MulDiv(int32_t a, int32_t b, int32_t c) {
    if (c == 0) return -1;
    int64_t product = int64_t(a) * int64_t(b);
    bool negative = (product < 0) != (c < 0);
    uint64_t n = product < 0 ? uint64_t(-product) : uint64_t(product);
    uint64_t d = c < 0 ? uint64_t(-int64_t(c)) : uint64_t(c);
    uint64_t q = (n + d / 2) / d;  // halves away from zero
    if (q > uint64_t(std::numeric_limits<int32_t>::max()) + (negative ? 1 : 0)) return -1;
    return negative ? int32_t(-int64_t(q)) : int32_t(q);
}

uint32_t GetTickCount() {
    using namespace std::chrono;
    return uint32_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// ---------------------------------------------------------------------------
// File names

size_t LastDelimiter(std::string_view path) {
#ifdef _WIN32
    return path.find_last_of("\\/:");
#else
    return path.find_last_of('/');
#endif
}

std::string ExtractFilePath(std::string_view path) {
    size_t p = LastDelimiter(path);
    return p == std::string_view::npos ? std::string() : std::string(path.substr(0, p + 1));
}

std::string ExtractFileName(std::string_view path) {
    size_t p = LastDelimiter(path);
    return std::string(p == std::string_view::npos ? path : path.substr(p + 1));
}

std::string ExtractFileExt(std::string_view path) {
    size_t start = LastDelimiter(path);
    start = start == std::string_view::npos ? 0 : start + 1;
    size_t dot = path.rfind('.');
    if (dot == std::string_view::npos || dot < start) return {};
    return std::string(path.substr(dot));
}

std::string ChangeFileExt(std::string_view path, std::string_view ext) {
    size_t start = LastDelimiter(path);
    start = start == std::string_view::npos ? 0 : start + 1;
    size_t dot = path.rfind('.');
    std::string result(path);
    if (dot != std::string_view::npos && dot >= start) result.resize(dot);
    result += ext;
    return result;
}

std::string IncludeTrailingPathDelimiter(std::string_view path) {
    std::string result(path);
    if (result.empty() || (result.back() != '/'
#ifdef _WIN32
                           && result.back() != '\\'
#endif
                           ))
        result += PathDelim;
    return result;
}

std::string LowerCase(std::string_view text) {
    std::string result(text);
    for (char& c : result)
        if (c >= 'A' && c <= 'Z') c = char(c + 32);
    return result;
}

std::string UpperCase(std::string_view text) {
    std::string result(text);
    for (char& c : result)
        if (c >= 'a' && c <= 'z') c = char(c - 32);
    return result;
}

bool SameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = char(x + 32);
        if (y >= 'A' && y <= 'Z') y = char(y + 32);
        if (x != y) return false;
    }
    return true;
}

bool FileExists(const std::string& path) {
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CreateDir(const std::string& path) { return !path.empty() && ::mkdir(path.c_str(), 0777) == 0; }

bool DeleteFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

int64_t FileSizeOf(const std::string& path) {
    struct stat st;
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return -1;
    return int64_t(st.st_size);
}

std::string ProgramDirectory() {
    char buffer[4096];
    ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return std::string(1, PathDelim);
    return ExtractFilePath(std::string_view(buffer, size_t(n)));
}

std::string SysErrorMessage(int error) {
    char buffer[256];
    // GNU strerror_r returns the text, which may or may not be in the buffer.
    const char* text = strerror_r(error, buffer, sizeof buffer);
    return text ? text : "";
}
