// kardo-termsim: plays a chip-card terminal on a pseudo-terminal, so that
// programs using libkardo can be tried without the hardware.
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "termsim/card_file.h"
#include "termsim/faults.h"
#include "termsim/terminal.h"
#include "termsim/trace.h"

using namespace termsim;

namespace {

const char kUsage[] =
    "Usage: kardo-termsim [OPTION]...\n"
    "Plays a chip-card terminal on a new pseudo-terminal until it is stopped\n"
    "(Ctrl-C, SIGTERM, or \"quit\" on standard input). Open the printed device\n"
    "path (or the --link path) as the terminal's serial port.\n"
    "\n"
    "Options:\n"
    "  -f, --family NAME    terminal family to play: g81 (the default), cherry or pki\n"
    "  -c, --card CARD      card in the slot at start: memory (an erased memory\n"
    "                       card, the default), tce, insurance (a health\n"
    "                       insurance card of an example person), none, or the\n"
    "                       name of a card file\n"
    "  -l, --link PATH      also make PATH a symbolic link to the device\n"
    "      --fault FAULT    arm a scripted fault (repeatable, see below)\n"
    "      --cts-off        start with the clear-to-send line off (a pseudo-\n"
    "                       terminal has no modem lines: start the program\n"
    "                       under test with PLATFORM_PTY_CTS_OFF=<device>)\n"
    "  -t, --trace          print every block in both directions as hex\n"
    "      --block-size N   largest information field the terminal sends,\n"
    "                       1 to 254 (default 254)\n"
    "      --success-status S  the status byte of a PKI terminal's successful\n"
    "                       commands: 81 (the default) or its variant 82\n"
    "      --save PATH      when stopping, write the card's 256 bytes to PATH\n"
    "  -h, --help           show this help and exit\n"
    "      --version        show the version and exit\n"
    "\n"
    "Commands on standard input while it runs:\n"
    "  insert CARD          put a card into the slot (as for --card)\n"
    "  remove               take the card out of the slot\n"
    "  fault FAULT          arm a fault;   clear   disarm every fault\n"
    "  cts on|off           switch the clear-to-send line\n"
    "  trace on|off         switch the hex trace\n"
    "  show                 print the card's bytes\n"
    "  save PATH            write the card's 256 bytes to PATH\n"
    "  status               show the terminal's state\n"
    "  quit                 stop\n"
    "\n"
    "Faults: KIND[=VALUE][@N][*COUNT]: spoil the N-th matching event from now\n"
    "(default the next one) and COUNT events in a row (\"*\" alone: all).\n";

const char kCardFileHelp[] =
    "\n"
    "Card files: 256 bytes of raw card contents, or text lines \"key = value\":\n"
    "  type = memory|tce|insurance|none, protected = yes|no, cherry-type = 1-8\n"
    "  (the card type under which a Cherry terminal shows the data),\n"
    "  data = hex bytes from card byte 0 on (repeatable), or image = the drivers'\n"
    "  hex image text; an insurance card takes insurer, insurer-number,\n"
    "  contract-number, person-number, status, status-supplement, title,\n"
    "  first-name, name-prefix, surname, birth-date (DDMMYYYY), street, country,\n"
    "  postcode, town, valid-until (MMYY), older-card = yes, check-byte = wrong,\n"
    "  pki-kind = 04|0B|0C (the card kind a PKI terminal reads it under).\n"
    "\n"
    "Exit codes: 0 stopped, 1 the terminal could not start or the card not be\n"
    "saved, 2 usage error.\n"
    "\n"
    "Example:  kardo-termsim --card insurance --link /tmp/g81 --trace\n"
    "          kardo-termsim --family cherry --card insurance --link /tmp/cherry\n";

[[noreturn]] void Fail(const std::string& message) {
    std::fprintf(stderr, "kardo-termsim: %s\n", message.c_str());
    std::fprintf(stderr, "Try 'kardo-termsim --help' for more information.\n");
    std::exit(2);
}

std::string Hexdump(const Card& card) {
    std::string out;
    for (size_t row = 0; row < Card::kSize; row += 16) {
        char label[8];
        std::snprintf(label, sizeof label, "%02zX: ", row);
        out += label + HexBytes(card.bytes.data() + row, 16) + '\n';
    }
    return out;
}

bool SaveCard(CardSlot& slot, const std::string& path, std::string& error) {
    std::optional<Card> card = slot.Contents();
    if (!card) {
        error = "there is no card in the slot";
        return false;
    }
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(card->bytes.data()), Card::kSize);
    // The bytes may reach the file only when it is closed: a full disk shows there.
    out.close();
    if (!out) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

void PutCard(Terminal& terminal, const std::optional<Card>& card) {
    if (card) {
        terminal.Slot().Insert(*card);
        terminal.GetTrace().Note("card inserted: " + card->label);
    } else {
        terminal.Slot().Remove();
        terminal.GetTrace().Note("no card in the slot");
    }
}

std::string Status(Terminal& terminal, Family family) {
    std::ostringstream s;
    std::optional<Card> card = terminal.Slot().Contents();
    s << FamilyName(family) << " terminal on " << terminal.Path();
    if (!terminal.Port().LinkPath().empty()) s << " (link " << terminal.Port().LinkPath() << ")";
    s << "\ncard: " << (card ? std::string(CardKindName(card->kind)) + ", " + card->label : "none");
    if (card && card->writeProtected) s << ", write-protected";
    s << "\nCTS: " << (terminal.Cts() ? "on" : "off (start the program under test with PLATFORM_PTY_CTS_OFF=" + terminal.Path() + ")");
    if (family == Family::Pki)
        s << "\ncard reads: " << terminal.Slot().counters.reads << ", card writes: " << terminal.Slot().counters.writes;
    else
        s << "\nREAD BINARY: " << terminal.Slot().counters.reads << ", UPDATE BINARY: "
          << terminal.Slot().counters.writes;
    for (const Fault& f : terminal.Faults().Pending())
        s << "\nfault armed: " << FaultName(f.kind) << " (after " << f.skip << " events, "
          << (f.count < 0 ? std::string("all") : std::to_string(f.count)) << " to spoil)";
    return s.str();
}

// One command from standard input; false to stop.
bool RunCommand(Terminal& terminal, Family family, const std::string& line, bool& tracing) {
    std::istringstream in(line);
    std::string word, arg;
    in >> word;
    std::getline(in >> std::ws, arg);
    try {
        if (word.empty()) return true;
        if (word == "quit" || word == "exit") return false;
        if (word == "insert") {
            if (arg.empty()) throw std::invalid_argument("insert needs a card: memory, tce, insurance or a file");
            PutCard(terminal, CardFromArgument(arg));
            std::cout << "card inserted\n";
        } else if (word == "remove") {
            terminal.Slot().Remove();
            terminal.GetTrace().Note("card removed");
            std::cout << "card removed\n";
        } else if (word == "fault") {
            terminal.Faults().Add(ParseFault(arg));
            std::cout << "fault armed\n";
        } else if (word == "clear") {
            terminal.Faults().Clear();
            std::cout << "faults cleared\n";
        } else if (word == "cts") {
            if (arg != "on" && arg != "off") throw std::invalid_argument("cts on or cts off");
            terminal.SetCts(arg == "on");
            std::cout << "CTS " << arg << (arg == "on" ? "" : " (programs see it with PLATFORM_PTY_CTS_OFF=" + terminal.Path() + ")") << "\n";
        } else if (word == "trace") {
            if (arg != "on" && arg != "off") throw std::invalid_argument("trace on or trace off");
            tracing = arg == "on";
            if (tracing)
                terminal.GetTrace().SetSink([](const std::string& l) { std::cout << l << std::endl; });
            else
                terminal.GetTrace().SetSink(nullptr);
        } else if (word == "show") {
            std::optional<Card> card = terminal.Slot().Contents();
            std::cout << (card ? Hexdump(*card) : std::string("no card in the slot\n"));
        } else if (word == "save") {
            std::string error;
            if (arg.empty()) throw std::invalid_argument("save needs a file name");
            if (!SaveCard(terminal.Slot(), arg, error)) throw std::runtime_error(error);
            std::cout << "card saved to " << arg << "\n";
        } else if (word == "status") {
            std::cout << Status(terminal, family) << "\n";
        } else if (word == "help") {
            std::cout << "insert CARD, remove, fault FAULT, clear, cts on|off, trace on|off, show, save PATH, "
                         "status, quit\n";
        } else {
            throw std::invalid_argument("unknown command \"" + word + "\" (try help)");
        }
    } catch (const std::exception& e) {
        std::cout << "error: " << e.what() << "\n";
    }
    std::cout.flush();
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    TerminalOptions options;
    std::string cardArg = "memory", linkPath, savePath;
    std::vector<Fault> faults;
    bool tracing = false, ctsOff = false;

    std::vector<std::string> args(argv + 1, argv + argc);
    for (size_t i = 0; i < args.size(); ++i) {
        std::string a = args[i];
        std::string value;
        bool inlineValue = false;
        if (a.rfind("--", 0) == 0 && a.find('=') != std::string::npos) {
            value = a.substr(a.find('=') + 1);
            a.resize(a.find('='));
            inlineValue = true;
        }
        auto needValue = [&]() -> std::string {
            if (inlineValue) return value;
            if (i + 1 >= args.size()) Fail("option " + a + " needs a value");
            return args[++i];
        };
        if (a == "-h" || a == "--help") {
            std::cout << kUsage << FaultHelp() << kCardFileHelp;
            return 0;
        } else if (a == "--version") {
            std::cout << "kardo-termsim 1.2.0\n";
            return 0;
        } else if (a == "-f" || a == "--family") {
            try {
                options.family = ParseFamily(needValue());
            } catch (const std::exception& e) {
                Fail(e.what());
            }
        } else if (a == "-c" || a == "--card") {
            cardArg = needValue();
        } else if (a == "-l" || a == "--link") {
            linkPath = needValue();
        } else if (a == "--fault") {
            try {
                faults.push_back(ParseFault(needValue()));
            } catch (const std::exception& e) {
                Fail(e.what());
            }
        } else if (a == "--cts-off") {
            ctsOff = true;
        } else if (a == "-t" || a == "--trace") {
            tracing = true;
        } else if (a == "--block-size") {
            std::string v = needValue();
            char* end = nullptr;
            long n = std::strtol(v.c_str(), &end, 10);
            if (v.empty() || *end || n < 1 || n > 254) Fail("--block-size takes a number from 1 to 254, not \"" + v + "\"");
            options.t1.maxInformation = static_cast<int>(n);
        } else if (a == "--success-status") {
            std::string v = needValue();
            if (v != "81" && v != "82") Fail("--success-status takes 81 or 82, not \"" + v + "\"");
            options.pki.successStatus = v == "81" ? 0x81 : 0x82;
        } else if (a == "--save") {
            savePath = needValue();
        } else {
            Fail("unknown option \"" + args[i] + "\"");
        }
    }

    std::optional<Card> card;
    try {
        card = CardFromArgument(cardArg);
    } catch (const std::exception& e) {
        Fail(std::string(e.what()) + "\n(--card takes memory, tce, insurance, none or a card file)");
    }

    // SIGINT and SIGTERM arrive through a descriptor; the serving thread
    // inherits the blocked mask and never sees them.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    signal(SIGPIPE, SIG_IGN);
    int signalFd = signalfd(-1, &signals, SFD_CLOEXEC);

    std::unique_ptr<Terminal> terminal;
    try {
        terminal = std::make_unique<Terminal>(options);
        if (!linkPath.empty()) terminal->Port().CreateLink(linkPath);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kardo-termsim: %s\n", e.what());
        return 1;
    }
    for (const Fault& f : faults) terminal->Faults().Add(f);
    terminal->SetCts(!ctsOff);
    PutCard(*terminal, card);
    terminal->Start();

    std::cout << FamilyName(options.family) << " terminal on " << terminal->Path();
    if (!linkPath.empty()) std::cout << " (link " << linkPath << ")";
    std::cout << "\ncard: " << (card ? std::string(CardKindName(card->kind)) + ", " + card->label : "none")
              << "\nType \"help\" for commands, Ctrl-C to stop." << std::endl;
    if (ctsOff)
        std::cout << "CTS is off. A pseudo-terminal carries no modem lines: start the program under test\n"
                     "with PLATFORM_PTY_CTS_OFF=" << terminal->Path() << " in its environment to see it." << std::endl;
    if (tracing) terminal->GetTrace().SetSink([](const std::string& l) { std::cout << l << std::endl; });

    bool stdinOpen = true;
    std::string pending;
    for (;;) {
        pollfd fds[2] = {{signalFd, POLLIN, 0}, {stdinOpen ? 0 : -1, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) continue;
        if (fds[0].revents & POLLIN) break;
        if (fds[1].revents & (POLLIN | POLLHUP)) {
            char buffer[512];
            ssize_t n = read(0, buffer, sizeof buffer);
            if (n <= 0) {
                // No more commands (a daemon or a pipe that closed): serve until a signal.
                stdinOpen = false;
                continue;
            }
            pending.append(buffer, static_cast<size_t>(n));
            size_t nl;
            bool quit = false;
            while (!quit && (nl = pending.find('\n')) != std::string::npos) {
                std::string line = pending.substr(0, nl);
                pending.erase(0, nl + 1);
                quit = !RunCommand(*terminal, options.family, line, tracing);
            }
            if (quit) break;
        }
    }

    terminal->Stop();
    if (!savePath.empty()) {
        std::string error;
        if (!SaveCard(terminal->Slot(), savePath, error)) {
            std::fprintf(stderr, "kardo-termsim: %s\n", error.c_str());
            return 1;
        }
    }
    return 0;
}
