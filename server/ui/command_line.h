#pragma once
// tovan's command line:
//   tovan [--headless] [--device NAME] [--data-port N] [--ctrl-port N]
// Options take their value as the next argument or after '='.
#include <optional>
#include <string>

struct CommandLine {
    bool headless = false;
    bool help = false;
    std::optional<std::string> device;
    std::optional<std::string> dataPort;
    std::optional<std::string> ctrlPort;
};

inline constexpr const char* kUsage =
    "usage: tovan [--headless] --device NAME --data-port PORT --ctrl-port PORT";

// Parses argv; on a bad option or a missing or invalid value returns nothing
// and puts a one-line reason into error.
std::optional<CommandLine> ParseCommandLine(int argc, char** argv, std::string& error);
