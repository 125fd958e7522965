// Platform core: exceptions, text formatting, numbers, file names and files.
// Nothing here depends on a window system.
#pragma once

#include <cstdint>
#include <exception>
#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>

// ---------------------------------------------------------------------------
// Exceptions. Every error of the program derives from Exception and carries
// its message text.

class Exception : public std::exception {
public:
    explicit Exception(std::string message) : message_(std::move(message)) {}
    const char* what() const noexcept override { return message_.c_str(); }
    const std::string& Message() const noexcept { return message_; }

private:
    std::string message_;
};

// The silent exception: it ends an operation without any message being shown.
class EAbort : public Exception {
public:
    EAbort() : Exception("Operation aborted") {}
};

class EConvertError : public Exception { using Exception::Exception; };
class EOutOfResources : public Exception { using Exception::Exception; };
class EOutOfMemory : public Exception { using Exception::Exception; };
class EInvalidGraphic : public Exception { using Exception::Exception; };
class EInvalidOperation : public Exception { using Exception::Exception; };

class EStreamError : public Exception { using Exception::Exception; };
class EReadError : public EStreamError {
public:
    EReadError() : EStreamError("Stream read error") {}
    using EStreamError::EStreamError;
};
class EWriteError : public EStreamError {
public:
    EWriteError() : EStreamError("Stream write error") {}
    using EStreamError::EStreamError;
};
class EFOpenError : public EStreamError { using EStreamError::EStreamError; };
class EFCreateError : public EStreamError { using EStreamError::EStreamError; };

class EListError : public Exception {
public:
    // "List index out of bounds (%d)"
    explicit EListError(int64_t index);
    using Exception::Exception;
};

// Raises the silent EAbort.
[[noreturn]] void Abort();

// ---------------------------------------------------------------------------
// Format: the platform's printf-like formatting.
// Directives: %[index:][-][width][.precision]type with type d, u, x, X, s, f, g, e, n, m, p;
// "%%" is a literal percent sign. "%2:s" takes argument 2 and continues from there.
// A directive that does not fit its argument raises EConvertError.

class FormatArg {
public:
    FormatArg(int v) : value_(int64_t(v)) {}
    FormatArg(long v) : value_(int64_t(v)) {}
    FormatArg(long long v) : value_(int64_t(v)) {}
    FormatArg(unsigned v) : value_(uint64_t(v)) {}
    FormatArg(unsigned long v) : value_(uint64_t(v)) {}
    FormatArg(unsigned long long v) : value_(uint64_t(v)) {}
    FormatArg(double v) : value_(v) {}
    FormatArg(const char* v) : value_(std::string(v ? v : "")) {}
    FormatArg(std::string_view v) : value_(std::string(v)) {}
    FormatArg(const std::string& v) : value_(v) {}

    const std::variant<int64_t, uint64_t, double, std::string>& Value() const { return value_; }

private:
    std::variant<int64_t, uint64_t, double, std::string> value_;
};

std::string Format(std::string_view format, std::initializer_list<FormatArg> args);

// ---------------------------------------------------------------------------
// Numbers.

std::string IntToStr(int64_t value);
// Text to integer as the platform reads it: optional blanks and sign, decimal digits, or "$"/"0x" hex.
// Raises EConvertError "'%s' is not a valid integer value" when the text is no integer.
int32_t StrToInt(std::string_view text);
// Like StrToInt, but returns `fallback` instead of raising.
int32_t StrToIntDef(std::string_view text, int32_t fallback);

// Rounds to the nearest integer, halves to the even neighbour (the one rounding rule of the program).
int64_t Round(double value);

// (a * b) / c with the 64-bit intermediate product, rounded to nearest with halves away from zero;
// -1 when c is 0.
int32_t MulDiv(int32_t a, int32_t b, int32_t c);

// Milliseconds since an arbitrary start, 32 bits, wrapping.
uint32_t GetTickCount();

// ---------------------------------------------------------------------------
// File names. The directory separator is '/' on POSIX; Windows builds also accept '\\' and ':'.

constexpr char PathDelim = '/';

// Index of the last directory separator (or drive colon on Windows) in `path`, or npos.
size_t LastDelimiter(std::string_view path);
// Everything up to and including the last separator.
std::string ExtractFilePath(std::string_view path);
// Everything after the last separator.
std::string ExtractFileName(std::string_view path);
// From the last dot of the name part to the end, dot included; empty when the name has no dot.
std::string ExtractFileExt(std::string_view path);
// The name part's extension replaced by `ext` (appended when there is none).
std::string ChangeFileExt(std::string_view path, std::string_view ext);
// The path with a separator at its end (unchanged when it already ends in one).
std::string IncludeTrailingPathDelimiter(std::string_view path);

std::string LowerCase(std::string_view text);   // A to Z only
std::string UpperCase(std::string_view text);   // a to z only
bool SameText(std::string_view a, std::string_view b);  // letter case of A to Z ignored

bool FileExists(const std::string& path);        // a regular file (or anything not a directory)
bool DirectoryExists(const std::string& path);
bool CreateDir(const std::string& path);         // one level
bool DeleteFile(const std::string& path);
// Size of a file in bytes (64-bit), -1 when it cannot be found.
int64_t FileSizeOf(const std::string& path);
// Directory of the running program, with its trailing separator.
std::string ProgramDirectory();
// The system's text for an error number (errno).
std::string SysErrorMessage(int error);
