#include "Process.h"

#include <cerrno>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "SysUtils.h"

extern char** environ;

uint32_t FindExecutable(const std::string& fileName, std::string& executable) {
    executable.clear();
    struct stat st;
    if (fileName.empty() || ::stat(fileName.c_str(), &st) != 0) {
        return (errno == ENOENT || errno == ENOTDIR || fileName.empty()) ? SE_ERR_FNF : SE_ERR_NOASSOC;
    }
    if (!S_ISREG(st.st_mode) || ::access(fileName.c_str(), X_OK) != 0) return SE_ERR_NOASSOC;
    if (fileName.front() == '/') {
        executable = fileName;
    } else {
        std::string cwd(4096, '\0');
        if (!::getcwd(cwd.data(), cwd.size())) return SE_ERR_NOASSOC;
        cwd.resize(cwd.find('\0'));
        executable = IncludeTrailingPathDelimiter(cwd) + fileName;
    }
    return SE_ERR_SUCCESS;
}

std::vector<std::string> CommandLineToArgs(std::string_view line) {
    std::vector<std::string> args;
    size_t i = 0;
    const size_t n = line.size();
    while (true) {
        while (i < n && (line[i] == ' ' || line[i] == '\t')) ++i;
        if (i >= n) break;
        std::string arg;
        bool quoted = false;
        while (i < n) {
            char c = line[i];
            if (!quoted && (c == ' ' || c == '\t')) break;
            if (c == '\\') {
                size_t run = 0;
                while (i < n && line[i] == '\\') {
                    ++run;
                    ++i;
                }
                if (i < n && line[i] == '"') {
                    arg.append(run / 2, '\\');
                    if (run % 2 == 1) {
                        arg.push_back('"');
                        ++i;
                    }
                    // With an even run the quote is handled by the next round.
                } else {
                    arg.append(run, '\\');
                }
                continue;
            }
            if (c == '"') {
                if (quoted && i + 1 < n && line[i + 1] == '"') {
                    arg.push_back('"');
                    i += 2;
                    continue;
                }
                quoted = !quoted;
                ++i;
                continue;
            }
            arg.push_back(c);
            ++i;
        }
        args.push_back(std::move(arg));
    }
    return args;
}

std::string EscapeQuoted(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    size_t backslashes = 0;
    for (char c : text) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"') {
            out.append(backslashes * 2 + 1, '\\');
        } else {
            out.append(backslashes, '\\');
        }
        backslashes = 0;
        out.push_back(c);
    }
    // The closing quote follows: trailing backslashes must not escape it.
    out.append(backslashes * 2, '\\');
    return out;
}

std::string QuoteArgument(std::string_view text) {
    if (!text.empty() && text.find_first_of(" \t\"") == std::string_view::npos) return std::string(text);
    return "\"" + EscapeQuoted(text) + "\"";
}

bool CreateProcessAndWait(const std::string& application, const std::string& commandLine, uint32_t& exitCode) {
    std::vector<std::string> args = CommandLineToArgs(commandLine);
    if (args.empty()) args.push_back(application);
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    pid_t pid = 0;
    int rc = ::posix_spawn(&pid, application.c_str(), nullptr, nullptr, argv.data(), environ);
    if (rc != 0) {
        exitCode = uint32_t(rc);
        return false;
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            // The child was reaped elsewhere; its status is lost.
            exitCode = uint32_t(errno);
            return true;
        }
    }
    if (WIFEXITED(status)) {
        exitCode = uint32_t(WEXITSTATUS(status));
    } else if (WIFSIGNALED(status)) {
        exitCode = uint32_t(128 + WTERMSIG(status));
    } else {
        exitCode = uint32_t(status);
    }
    return true;
}

bool StartAssociatedExe(const std::string& fileName, const std::string& parameters, uint32_t& exitCode,
                        TLaunchStatus* status, std::string* commandLine) {
    std::string executable;
    exitCode = FindExecutable(fileName, executable);
    if (exitCode <= 32) {
        if (status) *status = lsNotFound;
        return false;
    }
    std::string line = QuoteArgument(executable) + " " + QuoteArgument(fileName) + " " + parameters;
    if (commandLine) *commandLine = line;
    if (!CreateProcessAndWait(executable, line, exitCode)) {
        if (status) *status = lsNotStarted;
        return false;
    }
    if (status) *status = lsExited;
    return true;
}
