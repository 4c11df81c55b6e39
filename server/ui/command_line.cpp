#include "server/ui/command_line.h"

#include <cstring>

namespace {

bool IsPort(const std::string& text) {
    if (text.empty() || text.size() > 5) return false;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
    }
    return std::stoul(text) <= 65535;
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
        if (arg == "--headless" || arg == "--help" || arg == "-h") {
            if (inlineValue) {
                error = "option " + arg + " takes no value";
                return std::nullopt;
            }
            (arg == "--headless" ? result.headless : result.help) = true;
            continue;
        }
        std::optional<std::string>* target = nullptr;
        if (arg == "--device") target = &result.device;
        if (arg == "--data-port") target = &result.dataPort;
        if (arg == "--ctrl-port") target = &result.ctrlPort;
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
        if (target != &result.device && !IsPort(value)) {
            error = "option " + arg + " needs a port number 0-65535, not '" + value + "'";
            return std::nullopt;
        }
        *target = value;
    }
    return result;
}
