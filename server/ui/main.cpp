// tovan: makes a local serial or printer device reachable over TCP.
// Until the dialog exists, the program runs headless.
#include <clocale>
#include <cstdio>
#include <string>

#include "server/ui/command_line.h"
#include "server/ui/headless_host.h"

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    std::string error;
    const auto options = ParseCommandLine(argc, argv, error);
    if (!options) {
        std::fprintf(stderr, "tovan: %s; %s\n", error.c_str(), kUsage);
        return 2;
    }
    if (options->help) {
        std::printf("%s\n", kUsage);
        return 0;
    }
    // The stored settings come later; for now all three values are needed.
    if (!options->device || !options->dataPort || !options->ctrlPort) {
        std::fprintf(stderr, "tovan: --device, --data-port and --ctrl-port are needed; %s\n", kUsage);
        return 2;
    }
    return RunHeadless(*options->device, *options->dataPort, *options->ctrlPort);
}
