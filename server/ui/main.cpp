// tovan: makes a local serial or printer device reachable over TCP.
// With a display it shows the dialog, else (or with --headless) it runs headless.
#include <clocale>
#include <cstdio>
#include <string>

#include "platform/serial_devices.h"
#include "server/ui/command_line.h"
#include "server/ui/headless_host.h"
#include "server/ui/help_text.h"
#ifdef TOVAN_WITH_GUI
#include "server/ui/tovan_app.h"
#endif

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    std::string error;
    const auto options = ParseCommandLine(argc, argv, error);
    if (!options) {
        std::fprintf(stderr, "tovan: %s; %s\n", error.c_str(), kUsage);
        return 2;
    }
    if (options->help) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    if (options->listDevices) {
        for (const std::string& device : platform::ListSerialDevices()) std::printf("%s\n", device.c_str());
        return 0;
    }
#ifdef TOVAN_WITH_GUI
    // The dialog, or headless; the stored settings fill in what the options leave out.
    ProgramOptions program;
    program.headless = options->headless;
    program.overrides = SettingOverrides{options->device,      options->dataPort,  options->ctrlPort,
                                         options->bindAddress, options->maxClients, options->rfc2217Port};
    return RunTovan(argc, argv, program);
#else
    // Without the Qt side there are no stored settings: all three values are needed.
    if (!options->device || !options->dataPort || !options->ctrlPort) {
        std::fprintf(stderr, "tovan: --device, --data-port and --ctrl-port are needed; %s\n", kUsage);
        return 2;
    }
    return RunHeadless(HeadlessSettings{*options->device, *options->dataPort, *options->ctrlPort,
                                        options->bindAddress.value_or(""),
                                        options->maxClients.value_or(kDefaultMaxClients),
                                        static_cast<uint16_t>(options->rfc2217Port.value_or(0))});
#endif
}
