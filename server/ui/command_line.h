#pragma once
// tovan's command line:
//   tovan [--headless] [--device NAME] [--data-port N] [--ctrl-port N]
//         [--bind ADDRESS] [--max-clients N] [--rfc2217-port N]
//   tovan --list-devices
// Options take their value as the next argument or after '='. --bind takes
// a dotted IPv4 address, --max-clients a number from 1 to 100000,
// --rfc2217-port a port number (0: no telnet COM-PORT port).
#include <optional>
#include <string>

struct CommandLine {
    bool headless = false;
    bool help = false;
    bool listDevices = false;
    std::optional<std::string> device;
    std::optional<std::string> dataPort;
    std::optional<std::string> ctrlPort;
    std::optional<std::string> bindAddress;
    std::optional<int> maxClients;
    std::optional<int> rfc2217Port;
};

inline constexpr const char* kUsage =
    "usage: tovan [--headless] --device NAME --data-port PORT --ctrl-port PORT [--bind ADDRESS] "
    "[--max-clients N] [--rfc2217-port PORT] | tovan --list-devices";

// Parses argv; on a bad option or a missing or invalid value returns nothing
// and puts a one-line reason into error.
std::optional<CommandLine> ParseCommandLine(int argc, char** argv, std::string& error);
