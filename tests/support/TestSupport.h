// Helpers shared by the test programs.
#pragma once

#include <string>

// A fresh empty folder below the system's temporary folder, removed with the object.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }
    // Path() + "/" + name
    std::string File(const std::string& name) const;

private:
    std::string path_;
};

void WriteBytes(const std::string& path, const std::string& bytes);
std::string ReadBytes(const std::string& path);

// The folder of real files written by other programs; empty when it is absent.
std::string FixturesDir();
// Runs a shell command; returns its exit status (-1 when it could not run).
int RunCommand(const std::string& command);
// Whether a program is on the PATH.
bool HaveProgram(const std::string& name);
