// VarnelSilent: the console converter tool the front end runs once per image.
#include <string>
#include <vector>

#include "Converter.h"
#include "Dialogs.h"

int main(int argc, char** argv) {
    SetApplicationTitle("VarnelSilent");
    std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    return RunConverter(args);
}
