// Platform core: starting a program and waiting for it.
//
// A program is started with one command line composed as on Windows; the command line is split
// into arguments by the Windows command-line quoting rules (so a quoted path arrives as one
// argument) and the program runs without a shell, with this process's environment and current
// directory.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Results of FindExecutable that mean failure (a success is greater than 32).
constexpr uint32_t SE_ERR_FNF = 2;       // the file does not exist
constexpr uint32_t SE_ERR_NOASSOC = 31;  // the file exists but is no program that can be started
constexpr uint32_t SE_ERR_SUCCESS = 42;  // the value returned on success

// Looks up the program that runs `fileName`. Here a file is its own program: an existing
// executable regular file yields its own path (made absolute) in `executable` and returns a value
// greater than 32. A missing file returns SE_ERR_FNF, anything else (a directory, a file without
// execute permission) SE_ERR_NOASSOC; `executable` is then emptied.
uint32_t FindExecutable(const std::string& fileName, std::string& executable);

// Splits a command line into arguments by the Windows rules: arguments are separated by blanks and
// tabs; a double quote starts or ends a quoted part in which blanks are kept; 2n backslashes before
// a double quote give n backslashes and the quote acts as above, 2n+1 backslashes give n
// backslashes and a literal double quote; inside a quoted part two double quotes give one literal
// double quote; other backslashes are literal.
std::vector<std::string> CommandLineToArgs(std::string_view commandLine);

// The text to put between two double quotes so that CommandLineToArgs gives back `text` exactly:
// double quotes are escaped with a backslash and backslashes that precede a double quote or the end
// are doubled. Text without double quotes and without a trailing backslash is returned unchanged.
std::string EscapeQuoted(std::string_view text);

// `text` as one command-line argument: unchanged when it is not empty and holds no blank, tab or
// double quote, otherwise in double quotes with EscapeQuoted applied.
std::string QuoteArgument(std::string_view text);

// How StartAssociatedExe ended.
enum TLaunchStatus : uint8_t {
    lsExited,      // the program ran; ExitCode is its exit status
    lsNotFound,    // the lookup failed; ExitCode is SE_ERR_FNF or SE_ERR_NOASSOC
    lsNotStarted,  // the process could not be created; ExitCode is the system error number
};

// Starts `application` with `commandLine` (split by CommandLineToArgs; the first argument becomes
// the program's argv[0]) and waits for it without a time-out. Returns true when the process was
// created and has ended, with its exit status in `exitCode` (128 + the signal number when a signal
// ended it). On failure returns false with the system error number in `exitCode`.
bool CreateProcessAndWait(const std::string& application, const std::string& commandLine, uint32_t& exitCode);

// Runs the program associated with `fileName`, passing `fileName` as its first argument and
// `parameters` after it, and waits for its end. The command line reads: the program's path, a
// blank, `fileName`, a blank, `parameters`, the first two quoted by QuoteArgument. Returns true
// when the process was created and has ended. `exitCode` holds the lookup result after a failed
// lookup, the system error number after a failed creation and the exit status after a run;
// `status` (optional) tells which. `commandLine` (optional) receives the composed command line.
bool StartAssociatedExe(const std::string& fileName, const std::string& parameters, uint32_t& exitCode,
                        TLaunchStatus* status = nullptr, std::string* commandLine = nullptr);
