#include "server/ui/command_line.h"

#include <arpa/inet.h>

#include <cstring>

namespace {

bool IsPort(const std::string& text) {
    if (text.empty() || text.size() > 5) return false;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
    }
    return std::stoul(text) <= 65535;
}

bool IsIpv4Address(const std::string& text) {
    in_addr address{};
    return inet_pton(AF_INET, text.c_str(), &address) == 1;
}

bool IsClientCount(const std::string& text) {
    if (text.empty() || text.size() > 6) return false;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
    }
    const unsigned long n = std::stoul(text);
    return n >= 1 && n <= 100000;
}

}  // namespace

std::optional<CommandLine> ParseCommandLine(int argc, char** argv, std::string& error) {
    CommandLine result;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::optional<std::string> inlineValue;
        if (arg.rfind("--", 0) == 0) {
            const size_t eq = arg.find('=');
            if (eq != std::string::npos) {
                inlineValue = arg.substr(eq + 1);
                arg.resize(eq);
            }
        }
        if (arg == "--headless" || arg == "--help" || arg == "-h" || arg == "--list-devices") {
            if (inlineValue) {
                error = "option " + arg + " takes no value";
                return std::nullopt;
            }
            (arg == "--headless" ? result.headless : arg == "--list-devices" ? result.listDevices : result.help) = true;
            continue;
        }
        std::optional<std::string>* target = nullptr;
        std::optional<std::string> clients;
        if (arg == "--device") target = &result.device;
        if (arg == "--data-port") target = &result.dataPort;
        if (arg == "--ctrl-port") target = &result.ctrlPort;
        if (arg == "--bind") target = &result.bindAddress;
        if (arg == "--max-clients") target = &clients;
        std::optional<std::string> telnetPort;
        if (arg == "--rfc2217-port") target = &telnetPort;
        if (target == nullptr) {
            error = "unknown option '" + arg + "'";
            return std::nullopt;
        }
        std::string value;
        if (inlineValue) {
            value = *inlineValue;
        } else if (i + 1 < argc) {
            value = argv[++i];
        } else {
            error = "option " + arg + " needs a value";
            return std::nullopt;
        }
        if (value.empty()) {
            error = "option " + arg + " needs a value";
            return std::nullopt;
        }
        if ((target == &result.dataPort || target == &result.ctrlPort || target == &telnetPort) && !IsPort(value)) {
            error = "option " + arg + " needs a port number 0-65535, not '" + value + "'";
            return std::nullopt;
        }
        if (target == &result.bindAddress && !IsIpv4Address(value)) {
            error = "option " + arg + " needs an IPv4 address such as 127.0.0.1, not '" + value + "'";
            return std::nullopt;
        }
        if (target == &clients) {
            if (!IsClientCount(value)) {
                error = "option " + arg + " needs a number 1-100000, not '" + value + "'";
                return std::nullopt;
            }
            result.maxClients = std::stoi(value);
            continue;
        }
        if (target == &telnetPort) {
            result.rfc2217Port = std::stoi(value);
            continue;
        }
        *target = value;
    }
    return result;
}
