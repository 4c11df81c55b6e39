#pragma once
// The text of `tovan --help`. The manual page (docs/man/tovan.1) describes
// the same options and exit codes; a test compares the two option lists.

inline constexpr const char* kHelp =
    "Usage: tovan [--headless] [--device NAME] [--data-port PORT] [--ctrl-port PORT]\n"
    "             [--bind ADDRESS] [--max-clients N] [--rfc2217-port PORT]\n"
    "       tovan --list-devices\n"
    "Makes a local serial or printer device reachable over TCP. With a display it\n"
    "shows the dialog, else (or with --headless) it runs without a window: log lines\n"
    "on standard output, messages on standard error, SIGINT or SIGTERM stop it,\n"
    "SIGUSR1 restarts a printer device.\n"
    "\n"
    "Options (each overrides the stored setting for this run):\n"
    "      --headless         run without the dialog\n"
    "      --device NAME      the device: COMn (= /dev/ttyS(n-1)), lptN, prn or a\n"
    "                         path such as /dev/ttyUSB0\n"
    "      --data-port PORT   TCP port of the data clients, 0 to 65535\n"
    "      --ctrl-port PORT   TCP port of the control client, 0 to 65535\n"
    "      --bind ADDRESS     IPv4 address to listen on (default: all)\n"
    "      --max-clients N    most data clients at once, 1 to 100000 (default 64)\n"
    "      --rfc2217-port PORT  TCP port for RFC 2217 (telnet COM-PORT) clients;\n"
    "                         0 or none: no such port\n"
    "      --list-devices     list the serial devices present and exit\n"
    "  -h, --help             show this help and exit\n"
    "\n"
    "Options take their value as the next argument or after '='. Headless without\n"
    "the dialog's stored settings, --device, --data-port and --ctrl-port are needed.\n"
    "\n"
    "Exit codes: 0 stopped normally, 1 the sockets could not be set up,\n"
    "2 usage error or a needed value missing.\n";
