// kardo-card: reads and writes chip cards through libkardo's card facade from
// the command line: the insured person of a health insurance card, the pps,
// pat and gst records of memory cards, the service card.
#include <kardo/kardo.h>

#include <dirent.h>
#include <iconv.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "settings_file.h"

using namespace kardo_card_tool;

namespace {

// Exit codes (docs/kardo-card.md).
enum Exit : int {
    kExitOk = 0,
    kExitFailed = 1,        // the terminal or the card refused the operation
    kExitUsage = 2,
    kExitNoTerminal = 3,
    kExitAborted = 4,       // no card came, or Ctrl-C / --timeout stopped the operation
    kExitInsuranceCard = 5, // an insurance card is never written
    kExitReadBack = 6,      // the record read back differs from the value
    kExitNoKvkData = 7,     // no valid insurance card data
};

const char kUsage[] =
    "Usage: kardo-card --family FAMILY --port PORT [OPTION]... COMMAND [ARGUMENT]...\n"
    "       kardo-card devices\n"
    "Reads and writes chip cards in a card terminal on a serial port.\n"
    "\n"
    "Commands:\n"
    "  devices                  list the serial ports present\n"
    "  kvk                      print the insured person's name and address from\n"
    "                           a health insurance card\n"
    "  kvk --watch              read card after card until Ctrl-C: one result for\n"
    "                           each card put in\n"
    "  read pps|pat             print the value of a record\n"
    "  write pps|pat NUMBER VALUE\n"
    "                           write a record and check it by reading it back\n"
    "  write gst NUMBER VALUE   write a gst record (pat layout, not read back)\n"
    "  service FILE             write the service card from a service-card file\n"
    "\n"
    "Options:\n"
    "  -f, --family FAMILY      the terminal: g81 (type 5), cherry (type 4),\n"
    "                           pki (type 3, reads insurance cards too) or lbe\n"
    "                           (type 1, a stub that touches no terminal)\n"
    "  -t, --type N             the terminal type number 1 to 5 instead, e.g. 2\n"
    "                           for a PKI terminal that reads no insurance cards\n"
    "  -p, --port PORT          the terminal's port: COM1 (= /dev/ttyS0), ... or a\n"
    "                           device path (/dev/ttyUSB0, a kardo-termsim device)\n"
    "  -l, --layout FILE        the card layout and record settings (default: the\n"
    "                           pps record in two rows of 6 Gs, the pat record in\n"
    "                           one row, of layout entry 0)\n"
    "      --ppslen N           pps value characters on the card, 0 to 12\n"
    "      --patlen N           pat value characters on the card, 0 to 6\n"
    "      --patmode N          pat records: 0 memory card layout, 1 number\n"
    "                           record, 2 TCE card\n"
    "      --mode N             the pat record's mode byte, 0 to 255\n"
    "      --stamp HEX          the six stamp bytes written onto cards, 12 digits\n"
    "      --timeout SECONDS    SECONDS after the start, stop as Ctrl-C does (a\n"
    "                           script's limit for a card that never comes)\n"
    "  -w, --watch              with kvk: card after card\n"
    "  -j, --json               results as JSON on standard output, one object a\n"
    "                           line\n"
    "  -q, --quiet              no progress bar and no prompts on standard error\n"
    "  -h, --help               show this help and exit\n"
    "      --version            show the version and exit\n"
    "\n"
    "While the terminal waits for a card, kardo-card asks you to insert one;\n"
    "a progress bar on standard error shows a card being read or written.\n"
    "Ctrl-C stops the running operation: the terminal is closed, and the pieces\n"
    "of a card already written stay written, as on any terminal, so write the\n"
    "record again. A second Ctrl-C ends the program at once.\n"
    "\n"
    "Exit codes: 0 success, 1 the terminal or card refused the operation,\n"
    "2 usage error, 3 no terminal, 4 no card or aborted, 5 insurance card\n"
    "refused, 6 record read back wrongly, 7 no valid insurance card data.\n"
    "\n"
    "Without hardware:  kardo-termsim --card insurance --link /tmp/g81 &\n"
    "                   kardo-card --family g81 --port /tmp/g81 kvk\n";

// ---------------------------------------------------------------- options

struct Options {
    int cardtype = 0;
    std::string port;
    std::string layoutFile;
    std::vector<std::string> words;  // the command and its arguments
    bool watch = false;
    bool json = false;
    bool quiet = false;
    int timeoutSeconds = 0;
    int ppslen = -1, patlen = -1, patmode = -1, mode = -1;
    std::string stamp;
};

[[noreturn]] void UsageError(const std::string& message) {
    std::fprintf(stderr, "kardo-card: %s\nTry 'kardo-card --help' for more information.\n", message.c_str());
    std::exit(kExitUsage);
}

int FamilyType(const std::string& name) {
    if (name == "lbe") return CARDTYPE_LBE;
    if (name == "pki") return CARDTYPE_PKI_KVK;
    if (name == "cherry") return CARDTYPE_CHERRY;
    if (name == "g81") return CARDTYPE_G81;
    UsageError("unknown terminal family \"" + name + "\" (lbe, pki, cherry or g81)");
}

const char* TypeName(int cardtype) {
    switch (cardtype) {
        case CARDTYPE_LBE: return "LBE";
        case CARDTYPE_PKI: return "PKI";
        case CARDTYPE_PKI_KVK: return "PKI with insurance cards";
        case CARDTYPE_CHERRY: return "Cherry";
        case CARDTYPE_G81: return "G81";
        default: return "?";
    }
}

int Number(const std::string& option, const std::string& value, int low, int high) {
    try {
        return ParseSetting(option, value, low, high);
    } catch (const SettingsError& e) {
        UsageError(e.what());
    }
}

Options ParseOptions(int argc, char** argv) {
    Options o;
    std::vector<std::string> args(argv + 1, argv + argc);
    bool onlyWords = false;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string a = args[i];
        if (onlyWords || a.empty() || a[0] != '-' || a == "-") {
            o.words.push_back(a);
            continue;
        }
        if (a == "--") {
            onlyWords = true;
            continue;
        }
        std::string value;
        bool inlineValue = false;
        if (a.rfind("--", 0) == 0 && a.find('=') != std::string::npos) {
            value = a.substr(a.find('=') + 1);
            a.resize(a.find('='));
            inlineValue = true;
        }
        auto needValue = [&]() -> std::string {
            if (inlineValue) return value;
            if (i + 1 >= args.size()) UsageError("option " + a + " needs a value");
            return args[++i];
        };
        if (a == "-h" || a == "--help") {
            std::fputs(kUsage, stdout);
            std::exit(kExitOk);
        } else if (a == "--version") {
            std::puts("kardo-card 1.2.0");
            std::exit(kExitOk);
        } else if (a == "-f" || a == "--family") {
            o.cardtype = FamilyType(needValue());
        } else if (a == "-t" || a == "--type") {
            o.cardtype = Number("--type", needValue(), 1, 5);
        } else if (a == "-p" || a == "--port") {
            o.port = needValue();
        } else if (a == "-l" || a == "--layout") {
            o.layoutFile = needValue();
        } else if (a == "--ppslen") {
            o.ppslen = Number(a, needValue(), 0, 12);
        } else if (a == "--patlen") {
            o.patlen = Number(a, needValue(), 0, 6);
        } else if (a == "--patmode") {
            o.patmode = Number(a, needValue(), 0, 2);
        } else if (a == "--mode") {
            o.mode = Number(a, needValue(), 0, 255);
        } else if (a == "--stamp") {
            o.stamp = needValue();
        } else if (a == "--timeout") {
            o.timeoutSeconds = Number(a, needValue(), 1, 86400);
        } else if (a == "-w" || a == "--watch") {
            o.watch = true;
        } else if (a == "-j" || a == "--json") {
            o.json = true;
        } else if (a == "-q" || a == "--quiet") {
            o.quiet = true;
        } else {
            UsageError("unknown option \"" + args[i] + "\"");
        }
    }
    return o;
}

// ---------------------------------------------------------------- output

// Card texts are code page 437 (insurance card) or single bytes: they reach
// the terminal as UTF-8, and control characters never reach it at all.
std::string FromCodePage437(const std::string& text) {
    std::string out;
    iconv_t cd = iconv_open("UTF-8", "CP437");
    if (cd != reinterpret_cast<iconv_t>(-1)) {
        std::vector<char> in(text.begin(), text.end());
        std::vector<char> buffer(text.size() * 4 + 4);
        char* src = in.data();
        char* dst = buffer.data();
        size_t left = in.size(), room = buffer.size();
        if (iconv(cd, &src, &left, &dst, &room) != static_cast<size_t>(-1))
            out.assign(buffer.data(), static_cast<size_t>(dst - buffer.data()));
        iconv_close(cd);
        if (left == 0) return out;
    }
    // Without the converter, the German letters at least.
    out.clear();
    for (unsigned char c : text) {
        switch (c) {
            case 0x8E: out += "\xC3\x84"; break;
            case 0x99: out += "\xC3\x96"; break;
            case 0x9A: out += "\xC3\x9C"; break;
            case 0x84: out += "\xC3\xA4"; break;
            case 0x94: out += "\xC3\xB6"; break;
            case 0x81: out += "\xC3\xBC"; break;
            case 0xE1: out += "\xC3\x9F"; break;
            default: out += c < 0x80 ? static_cast<char>(c) : '?';
        }
    }
    return out;
}

std::string Printable(const std::string& utf8) {
    std::string out = utf8;
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return out;
}

// Bytes of other texts (record values) that are no ASCII are shown as \xNN.
std::string AsciiText(const std::string& bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return out;
}

std::string JsonString(const std::string& utf8) {
    std::string out = "\"";
    for (unsigned char c : utf8) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7F) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", c);
            out += esc;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

// ---------------------------------------------------------------- stopping

std::atomic<bool> g_stopRequested{false};
std::atomic<bool> g_timedOut{false};
uint32_t g_cardThread = 0;

void RequestStop() {
    g_stopRequested = true;
    kardo_post_card_abort(g_cardThread);
}

// SIGINT and SIGTERM are taken by a thread of their own: the first asks the
// running card operation to stop, the second ends the program.
void StartSignalThread(bool quiet, int timeoutSeconds) {
    static sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::thread([quiet, timeoutSeconds] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
        for (;;) {
            int signal = 0;
            if (timeoutSeconds > 0 && !g_stopRequested) {
                const auto left = deadline - std::chrono::steady_clock::now();
                const long ms = std::max<long>(0, std::chrono::duration_cast<std::chrono::milliseconds>(left).count());
                timespec wait{ms / 1000, (ms % 1000) * 1000000};
                signal = sigtimedwait(&signals, nullptr, &wait);
                if (signal < 0) {
                    if (errno != EAGAIN) continue;
                    g_timedOut = true;
                    if (!quiet) std::fputs("\nkardo-card: time is up, stopping\n", stderr);
                    RequestStop();
                    continue;
                }
            } else if (sigwait(&signals, &signal) != 0) {
                continue;
            }
            if (g_stopRequested) _exit(kExitAborted);
            std::fputs("\nkardo-card: stopping (Ctrl-C again ends at once)\n", stderr);
            RequestStop();
        }
    }).detach();
}

// ---------------------------------------------------------------- progress

struct Progress {
    bool quiet = false;
    bool waiting = false;  // "insert a card" shown for the present wait
    bool barOpen = false;
    bool terminal = false;  // standard error is a terminal: the bar is redrawn in place
    unsigned long barKind = 0;
    int lastQuarter = -1;

    void EndBar() {
        if (barOpen) std::fputc('\n', stderr);
        barOpen = false;
    }
    void Message(unsigned message, WPARAM w, LPARAM l) {
        if (quiet || message != WM_CARDSTATE) return;
        if (w == 2) {
            if (l == 2 && !waiting) {
                EndBar();
                std::fputs("kardo-card: insert a card (Ctrl-C stops)\n", stderr);
                waiting = true;
            } else if (l != 2) {
                waiting = false;
            }
            return;
        }
        waiting = false;
        const long percent = std::clamp<long>(l, 0, 100);
        const char* what = w == 0 ? "reading" : "writing";
        if (!terminal) {
            // A log or a pipe gets a line at each quarter, not a redrawn bar.
            if (barKind != w) lastQuarter = -1;
            barKind = w;
            if (percent / 25 == lastQuarter) return;
            lastQuarter = static_cast<int>(percent / 25);
            std::fprintf(stderr, "%s %3ld%%\n", what, percent);
            return;
        }
        if (barOpen && barKind != w) EndBar();
        const int filled = static_cast<int>(percent * 30 / 100);
        std::fprintf(stderr, "\r%s [%.*s%*s] %3ld%%", what, filled, "##############################", 30 - filled, "",
                     percent);
        std::fflush(stderr);
        barOpen = true;
        barKind = w;
    }
};

Progress g_progress;

// ---------------------------------------------------------------- messages

// The library's message boxes: printed, and the read-back message noted.
bool g_readBackWrong = false;

int OnMessageBox(void*, const char* text, const char* caption, unsigned) {
    std::string t = text ? text : "";
    while (!t.empty() && (t.back() == '\n' || t.back() == '\r')) t.pop_back();
    if (t.rfind("Fehler beim Beschreiben der Karte", 0) == 0) g_readBackWrong = true;
    g_progress.EndBar();
    std::fprintf(stderr, "kardo-card: %s%s%s\n", caption && *caption ? caption : "", caption && *caption ? ": " : "",
                 AsciiText(t).c_str());
    return KARDO_IDOK;
}

// ---------------------------------------------------------------- commands

struct Run {
    Options options;
    RecordSettings settings;
    Ccard card;
    HWND window = nullptr;

    void Report(int code, const std::string& error, int result) {
        g_progress.EndBar();
        if (!error.empty()) std::fprintf(stderr, "kardo-card: %s\n", error.c_str());
        if (options.json && code != kExitOk)
            std::printf("{\"result\":%d,\"exit\":%d,\"error\":%s}\n", result, code, JsonString(error).c_str());
        std::fflush(stdout);
    }

    // The exit code of a card operation's result, reported.
    int Finish(int32_t rc) {
        int code = kExitFailed;
        std::string error;
        if (rc == 0) return kExitOk;
        if (rc == -102 || g_stopRequested) {
            code = kExitAborted;
            error = g_timedOut ? "stopped: no card came in time, or the card took too long"
                               : "stopped; pieces of the card already written stay written";
        } else if (rc == -100) {
            code = kExitInsuranceCard;
            error = "the card is a health insurance card; it is never written";
        } else if (rc == -105 || rc == -107) {
            code = kExitNoTerminal;
            error = rc == -107 ? "the terminal does not assert CTS" : "the terminal cannot be reached";
        } else if (rc == -1 && g_readBackWrong) {
            code = kExitReadBack;
            error = "the record read back differs from the value written";
        } else {
            error = "the operation failed with code " + std::to_string(rc);
        }
        Report(code, error, rc);
        return code;
    }

    void Init(const _kardodll_sc4tag& sc4) {
        card.initCardType(options.cardtype, options.port, settings.ppslen, settings.patlen, settings.stamp,
                          settings.chip, sc4, window, settings.patmode);
    }

    // Opens the terminal once before the operation, so that a terminal that
    // is not there is told apart from a card that fails.
    bool OpenTerminal() {
        if (card.open_card() == 0) return true;
        Report(kExitNoTerminal, "no " + std::string(TypeName(options.cardtype)) + " terminal answers on " + options.port,
               -1);
        return false;
    }

    int Read(const std::string& record) {
        if (!OpenTerminal()) return kExitNoTerminal;
        std::string value;
        const int32_t rc = record == "pps" ? card.pps_rcard(value) : card.pat_rcard(value);
        if (rc != 0) return Finish(rc);
        g_progress.EndBar();
        if (options.json)
            std::printf("{\"record\":\"%s\",\"value\":%s}\n", record.c_str(), JsonString(AsciiText(value)).c_str());
        else
            std::printf("%s\n", AsciiText(value).c_str());
        return kExitOk;
    }

    int Write(const std::string& record, const std::string& numberText, const std::string& value) {
        char* end = nullptr;
        errno = 0;
        const long number = std::strtol(numberText.c_str(), &end, 10);
        if (numberText.empty() || *end || errno == ERANGE) UsageError("NUMBER must be a whole number, not \"" + numberText + "\"");
        // Number records take whole numbers only; the library refuses others
        // with a bare -1, so they are told apart here.
        const bool asNumber = settings.patmode == 1 || (settings.patmode == 2 && (options.cardtype == CARDTYPE_CHERRY ||
                                                                                 options.cardtype == CARDTYPE_G81));
        if (record == "pat" && asNumber) {
            errno = 0;
            const long pat = std::strtol(value.c_str(), &end, 10);
            if (value.empty() || *end || errno == ERANGE || pat < INT32_MIN || pat > INT32_MAX)
                UsageError("with patmode " + std::to_string(settings.patmode) +
                           " the pat VALUE is a number record: a whole number, not \"" + value + "\"");
        }
        if (!OpenTerminal()) return kExitNoTerminal;
        int32_t rc;
        if (record == "pps")
            rc = card.pps_wcard(number, value);
        else if (record == "pat")
            rc = card.pat_wcard(number, value, static_cast<unsigned char>(settings.mode));
        else
            rc = card.gst_wcard(number, value);
        if (rc != 0) return Finish(rc);
        g_progress.EndBar();
        if (options.json)
            std::printf("{\"record\":\"%s\",\"number\":%ld,\"value\":%s,\"result\":0}\n", record.c_str(), number,
                        JsonString(AsciiText(value)).c_str());
        else if (!options.quiet)
            std::fprintf(stderr, "kardo-card: %s record written\n", record.c_str());
        return kExitOk;
    }

    int Service() {
        if (!OpenTerminal()) return kExitNoTerminal;
        const int32_t rc = card.sc4_wcard();
        if (rc != 0) return Finish(rc);
        g_progress.EndBar();
        if (options.json) std::printf("{\"service\":true,\"result\":0}\n");
        else if (!options.quiet) std::fputs("kardo-card: service card written\n", stderr);
        return kExitOk;
    }

    void PrintKvk(const _kardodll_KVKINFO& k) {
        const std::string title = FromCodePage437(k.title), first = FromCodePage437(k.firstname),
                          surname = FromCodePage437(k.surname), street = FromCodePage437(k.street),
                          postcode = FromCodePage437(k.postcode), town = FromCodePage437(k.town);
        if (options.json) {
            std::printf("{\"valid\":%d,\"title\":%s,\"firstname\":%s,\"surname\":%s,\"street\":%s,\"postcode\":%s,"
                        "\"town\":%s}\n",
                        k.valid, JsonString(title).c_str(), JsonString(first).c_str(), JsonString(surname).c_str(),
                        JsonString(street).c_str(), JsonString(postcode).c_str(), JsonString(town).c_str());
        } else {
            std::string name;
            for (const std::string* part : {&title, &first, &surname})
                if (!part->empty()) name += (name.empty() ? "" : " ") + *part;
            std::printf("%s\n%s\n%s%s%s\n", Printable(name).c_str(), Printable(street).c_str(),
                        Printable(postcode).c_str(), postcode.empty() ? "" : " ", Printable(town).c_str());
        }
        std::fflush(stdout);
    }

    // Waits until the card read last has been taken out; false when stopped.
    bool WaitForRemoval() {
        if (card.open_card() != 0) return true;  // the next read reports the terminal
        bool told = false;
        while (!g_stopRequested && card.card_ready() == 0) {
            if (!told && !options.quiet) std::fputs("kardo-card: take the card out\n", stderr);
            told = true;
            if (Callcard::PumpMessages() != 0) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        card.close_card();
        return !g_stopRequested;
    }

    int Kvk() {
        if (options.cardtype != CARDTYPE_PKI_KVK && options.cardtype != CARDTYPE_CHERRY &&
            options.cardtype != CARDTYPE_G81) {
            Report(kExitUsage,
                   "terminal type " + std::to_string(options.cardtype) + " (" + TypeName(options.cardtype) +
                       ") reads no insurance cards; use a G81, Cherry or PKI (type 3) terminal",
                   -1);
            return kExitUsage;
        }
        for (;;) {
            if (!OpenTerminal()) return kExitNoTerminal;
            const _kardodll_KVKINFO k = card.rdkvk();
            g_progress.EndBar();
            g_progress.waiting = false;
            if (g_stopRequested) {
                if (options.watch && !g_timedOut) return kExitOk;
                return Finish(-102);
            }
            if (k.valid) {
                PrintKvk(k);
            } else {
                Report(kExitNoKvkData, "no valid insurance card data on this card", 0);
                if (!options.watch) return kExitNoKvkData;
            }
            if (!options.watch) return kExitOk;
            if (!WaitForRemoval()) return g_timedOut ? Finish(-102) : kExitOk;
        }
    }
};

bool IsSerialPort(const std::string& name) {
    for (const char* prefix : {"ttyS", "ttyUSB", "ttyACM", "ttyAMA"}) {
        const size_t n = std::strlen(prefix);
        if (name.size() > n && name.compare(0, n, prefix) == 0 &&
            name.find_first_not_of("0123456789", n) == std::string::npos)
            return true;
    }
    return false;
}

// The serial ports of the machine: USB and on-board ports that exist, and
// the built-in ports whose UART the kernel found (a known UART type).
int Devices(bool json) {
    std::vector<std::string> names;
    if (DIR* dir = opendir("/sys/class/tty")) {
        while (dirent* e = readdir(dir)) {
            const std::string name = e->d_name;
            if (!IsSerialPort(name)) continue;
            if (name.compare(0, 4, "ttyS") == 0 && name.compare(0, 5, "ttySA") != 0) {
                std::ifstream type("/sys/class/tty/" + name + "/type");
                int uart = 0;
                if (!(type >> uart) || uart == 0) continue;
            }
            names.push_back(name);
        }
        closedir(dir);
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        const size_t da = a.find_first_of("0123456789"), db = b.find_first_of("0123456789");
        if (a.compare(0, da, b, 0, db) != 0) return a < b;
        return std::atoi(a.c_str() + da) < std::atoi(b.c_str() + db);
    });
    if (json) std::printf("[");
    for (size_t i = 0; i < names.size(); ++i) {
        const std::string path = "/dev/" + names[i];
        std::string alias;
        if (names[i].compare(0, 4, "ttyS") == 0) alias = "COM" + std::to_string(std::atoi(names[i].c_str() + 4) + 1);
        if (json)
            std::printf("%s{\"device\":%s,\"name\":%s}", i ? "," : "", JsonString(path).c_str(),
                        JsonString(alias.empty() ? path : alias).c_str());
        else
            std::printf("%-16s %s\n", path.c_str(), alias.c_str());
    }
    if (json) std::printf("]\n");
    if (names.empty() && !json)
        std::fputs("kardo-card: no serial ports found (kardo-termsim plays a terminal without one)\n", stderr);
    return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
    Run run;
    run.options = ParseOptions(argc, argv);
    Options& o = run.options;
    if (o.words.empty()) UsageError("no command given");
    const std::string command = o.words[0];
    const size_t arguments = o.words.size() - 1;
    if (command == "devices") {
        if (arguments) UsageError("devices takes no arguments");
        return Devices(o.json);
    }

    _kardodll_sc4tag sc4;
    std::memset(&sc4, ' ', sizeof sc4);
    try {
        run.settings = DefaultSettings();
        if (!o.layoutFile.empty()) ParseLayoutText(ReadFile(o.layoutFile), o.layoutFile, run.settings);
        if (o.ppslen >= 0) run.settings.ppslen = o.ppslen;
        if (o.patlen >= 0) run.settings.patlen = o.patlen;
        if (o.patmode >= 0) run.settings.patmode = o.patmode;
        if (o.mode >= 0) run.settings.mode = o.mode;
        if (!o.stamp.empty()) ParseStamp(o.stamp, run.settings.stamp);
        if (command == "service") {
            if (arguments != 1) UsageError("service takes one file: the service-card record");
            sc4 = ParseServiceText(ReadFile(o.words[1]), o.words[1]);
        }
    } catch (const SettingsError& e) {
        UsageError(e.what());
    }

    if (command == "kvk") {
        if (arguments) UsageError("kvk takes no arguments");
    } else if (command == "read") {
        if (arguments != 1 || (o.words[1] != "pps" && o.words[1] != "pat")) UsageError("read takes pps or pat");
    } else if (command == "write") {
        if (arguments != 3 || (o.words[1] != "pps" && o.words[1] != "pat" && o.words[1] != "gst"))
            UsageError("write takes pps, pat or gst, a NUMBER and a VALUE");
    } else if (command != "service") {
        UsageError("unknown command \"" + command + "\"");
    }
    if (o.watch && command != "kvk") UsageError("--watch belongs to kvk");
    if (o.cardtype == 0) UsageError("choose the terminal with --family or --type");
    if (o.port.empty() && o.cardtype != CARDTYPE_LBE) UsageError("give the terminal's port with --port");

    kardo_set_message_box_handler(OnMessageBox, nullptr);
    g_progress.quiet = o.quiet;
    g_progress.terminal = isatty(STDERR_FILENO) == 1;
    g_cardThread = kardo_current_thread_id();
    run.window = kardo_register_window(
        [](void*, HWND, unsigned message, WPARAM w, LPARAM l) { g_progress.Message(message, w, l); }, nullptr);
    StartSignalThread(o.quiet, o.timeoutSeconds);
    run.Init(sc4);

    int code;
    if (command == "kvk")
        code = run.Kvk();
    else if (command == "read")
        code = run.Read(o.words[1]);
    else if (command == "write")
        code = run.Write(o.words[1], o.words[2], o.words[3]);
    else
        code = run.Service();
    run.card.close_card();
    return code;
}
