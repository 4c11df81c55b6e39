// The telnet COM-PORT port: the telnet parser on its own, the queue of a
// telnet client, and the port end to end with a pseudo-terminal as the
// device, raw telnet clients and Debian's pyserial as a standard client.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/socket.h>
#include <termios.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>

#include "pty_pair.h"
#include "server/engine/client_socket_slot.h"
#include "server/engine/server_engine.h"
#include "server/engine/server_state.h"
#include "server/engine/telnet_parser.h"
#include "server/ui/command_line.h"
#include "test_helpers.h"
#include "tovan_process.h"

using enginetest::Client;
using enginetest::FreePort;
using enginetest::MessageRecorder;
using enginetest::RecordingView;
using enginetest::WaitUntil;
using Bytes = std::vector<unsigned char>;

namespace {

constexpr uint8_t IAC = 255, SB = 250, SE = 240, WILL = 251, WONT = 252, DO = 253, DONT = 254;
constexpr uint8_t COM = 44;

// "D:<data>" for a data piece, "N:<verb>,<option>", "S:<option>:<bytes>", "C:<byte>".
std::string Describe(const std::vector<telnet::Piece>& pieces) {
    std::string out;
    for (const auto& p : pieces) {
        if (!out.empty()) out += " ";
        switch (p.kind) {
            case telnet::Piece::Data:
                out += "D:";
                for (uint8_t b : p.bytes) out += b >= 0x20 && b < 0x7F ? std::string(1, char(b)) : "<" + std::to_string(b) + ">";
                break;
            case telnet::Piece::Negotiation: out += "N:" + std::to_string(p.verb) + "," + std::to_string(p.option); break;
            case telnet::Piece::Subnegotiation:
                out += "S:" + std::to_string(p.option) + ":";
                for (uint8_t b : p.bytes) out += std::to_string(b) + ".";
                break;
            case telnet::Piece::Command: out += "C:" + std::to_string(p.verb); break;
        }
    }
    return out;
}

TEST(TelnetParser, SplitsDataFromCommandsAndDropsFaultySequences) {
    struct Case {
        const char* what;
        Bytes input;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"plain bytes", {'a', 0, 13, 'b'}, "D:a<0><13>b"},
        {"IAC IAC is one 0xFF", {'a', IAC, IAC, 'b'}, "D:a<255>b"},
        {"negotiation between data", {'a', IAC, WILL, COM, 'b'}, "D:a N:251,44 D:b"},
        {"subnegotiation with a doubled 0xFF", {IAC, SB, COM, 1, IAC, IAC, 0, IAC, SE}, "S:44:1.255.0."},
        {"command without argument", {IAC, 241, 'x'}, "C:241 D:x"},
        {"stray 0xFF before an ordinary byte", {'a', IAC, 'b', 'c'}, "D:abc"},
        {"negotiation cut short by the next", {IAC, DO, IAC, WILL, 3, 'z'}, "N:251,3 D:z"},
        {"subnegotiation cut short by a command", {IAC, SB, COM, 1, 0, 0, IAC, DO, 3, 'z'}, "N:253,3 D:z"},
        {"bad byte inside a subnegotiation", {IAC, SB, COM, 1, IAC, 'q', 'r', IAC, SE, 'z'}, "D:z"},
        {"SE without subnegotiation", {'a', IAC, SE, 'b'}, "D:ab"},
        {"subnegotiation without option", {IAC, SB, IAC, SE, 'z'}, "D:z"},
    };
    for (const Case& c : cases) {
        telnet::Parser parser;
        std::vector<telnet::Piece> pieces;
        parser.Feed(c.input.data(), c.input.size(), pieces);
        EXPECT_EQ(c.expected, Describe(pieces)) << c.what;
        // Byte by byte the result is the same, up to how data is split.
        telnet::Parser single;
        std::vector<telnet::Piece> one;
        for (uint8_t b : c.input) single.Feed(&b, 1, one);
        EXPECT_EQ(c.expected, Describe(one)) << c.what << " (byte by byte)";
    }
}

TEST(TelnetParser, AnOverlongSubnegotiationIsDroppedWhole) {
    telnet::Parser parser;
    std::vector<telnet::Piece> pieces;
    Bytes input{IAC, SB, COM};
    input.insert(input.end(), telnet::kMaxSubnegotiation + 10, 'x');
    input.insert(input.end(), {IAC, SE, 'o', 'k'});
    parser.Feed(input.data(), input.size(), pieces);
    EXPECT_EQ("D:ok", Describe(pieces));
}

// A telnet client's queue: a purge never cuts an escaped 0xFF or an answer
// that the socket has taken in part.
TEST(TelnetOutput, APurgeFinishesThePieceTheSocketHasBegun) {
    int pair[2];
    ASSERT_EQ(0, socketpair(AF_UNIX, SOCK_STREAM, 0, pair));
    const int small = 4096;
    setsockopt(pair[0], SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
    setsockopt(pair[1], SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    ClientOutput output(pair[0], true);
    const Bytes ffs(100000, 0xFF);
    EXPECT_EQ(0u, output.Deliver(ffs.data(), ffs.size()));
    EXPECT_EQ(0u, output.Deliver(ffs.data(), ffs.size()));
    ASSERT_TRUE(output.Pending());
    EXPECT_GT(output.Purge(), 0u) << "the second piece is dropped";
    const Bytes answer{IAC, SB, COM, 112, 1, IAC, SE};
    output.Reply(answer.data(), answer.size());

    std::thread reader([&] {
        Bytes got;
        unsigned char buf[8192];
        for (;;) {
            const ssize_t n = recv(pair[1], buf, sizeof buf, 0);
            if (n <= 0) break;
            got.insert(got.end(), buf, buf + n);
        }
        // The first piece whole (every 0xFF doubled), then the answer.
        ASSERT_EQ(2 * ffs.size() + answer.size(), got.size());
        EXPECT_TRUE(std::equal(answer.begin(), answer.end(), got.end() - static_cast<long>(answer.size())));
    });
    while (output.Pending()) {
        output.Flush();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    shutdown(pair[0], SHUT_WR);
    reader.join();
    output.Close();
    close(pair[0]);
    close(pair[1]);
}

TEST(TelnetCommandLine, TakesTheTelnetPort) {
    std::string error;
    std::string args[] = {"tovan", "--rfc2217-port", "4003"};
    char* argv[] = {args[0].data(), args[1].data(), args[2].data()};
    auto c = ParseCommandLine(3, argv, error);
    ASSERT_TRUE(c) << error;
    EXPECT_EQ(4003, *c->rfc2217Port);
    std::string bad[] = {"tovan", "--rfc2217-port=70000"};
    char* badArgv[] = {bad[0].data(), bad[1].data()};
    EXPECT_FALSE(ParseCommandLine(2, badArgv, error));
}

class TelnetView : public RecordingView {
public:
    uint16_t telnetPort = 0;
    uint16_t Rfc2217Port() override { return telnetPort; }
};

class Rfc2217Test : public ::testing::Test {
protected:
    virtual std::string DeviceName() { return pty.path(); }
    void SetUp() override {
        view.device = DeviceName();
        view.dataPort = std::to_string(FreePort());
        view.ctrlPort = std::to_string(FreePort());
        view.telnetPort = port;
        engine = std::make_unique<ServerEngine>(view);
        engine->OnStartStop();
        ASSERT_TRUE(WaitUntil([] { return g_hDevice.load() != nullptr; }));
        // The probe must be gone before a test's client connects, or it
        // would take the device data of that client until its accept.
        std::unique_ptr<Client> probe;
        ASSERT_TRUE(WaitUntil([&] {
            try {
                probe = std::make_unique<Client>(port);
                return true;
            } catch (const std::exception&) {
                return false;
            }
        }));
        const std::string peer = probe->PeerText();
        ASSERT_TRUE(WaitUntil([&] { return engine->Log().FindString(peer) >= 0; }));
        probe->Close();
        ASSERT_TRUE(WaitUntil([&] { return engine->Log().FindString(peer) < 0; }));
    }
    void TearDown() override {
        engine.reset();
        EXPECT_EQ(nullptr, g_hDevice.load());
        EXPECT_TRUE(messages.Texts().empty()) << "the telnet port shows no message box";
    }
    std::unique_ptr<Client> Connect() {
        auto c = std::make_unique<Client>(port);
        const std::string peer = c->PeerText();
        EXPECT_TRUE(WaitUntil([&] { return engine->Log().FindString(peer) >= 0; }));
        return c;
    }
    // Sends request and expects exactly answer back.
    void Exchange(Client& c, const Bytes& request, const Bytes& answer, const std::string& what) {
        c.Send(request);
        EXPECT_EQ(answer, c.Receive(answer.size())) << what;
    }
    static Bytes ComPort(std::initializer_list<int> body) {
        Bytes out{IAC, SB, COM};
        for (int b : body) {
            out.push_back(static_cast<unsigned char>(b));
            if (b == IAC) out.push_back(IAC);
        }
        out.push_back(IAC);
        out.push_back(SE);
        return out;
    }
    static Bytes Join(Bytes a, const Bytes& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    }
    termios Line() {
        termios t{};
        EXPECT_EQ(0, tcgetattr(pty.slave(), &t));
        return t;
    }

    testsupport::PtyPair pty;
    MessageRecorder messages;
    TelnetView view;
    uint16_t port = FreePort();
    std::unique_ptr<ServerEngine> engine;
};

TEST_F(Rfc2217Test, ARawClientIsADataClientWithTelnetEscaping) {
    auto c = Connect();
    pty.Send(Bytes{'a', 0xFF, 'b'});
    EXPECT_EQ((Bytes{'a', IAC, IAC, 'b'}), c->Receive(4)) << "device data without any negotiation";
    c->Send(Bytes{'x', IAC, IAC, 'y', 13, 0, 'z'});
    EXPECT_EQ((Bytes{'x', 0xFF, 'y', 13, 0, 'z'}), pty.Receive(6));
    EXPECT_FALSE(pty.Readable(50));
    EXPECT_EQ("connected", view.DataStatus());
}

TEST_F(Rfc2217Test, OptionsAreAgreedOrRefusedAtOnce) {
    auto c = Connect();
    const std::vector<std::tuple<Bytes, Bytes, const char*>> cases = {
        {{IAC, WILL, COM}, {IAC, DO, COM}, "the client offers COM-PORT"},
        {{IAC, DO, COM}, {IAC, WILL, COM}, "the client asks the server for COM-PORT"},
        {{IAC, DO, 0}, {IAC, WILL, 0}, "binary from the server"},
        {{IAC, WILL, 3}, {IAC, DO, 3}, "suppress go-ahead"},
        {{IAC, DO, 1}, {IAC, WONT, 1}, "echo is refused"},
        {{IAC, WILL, 24}, {IAC, DONT, 24}, "terminal type is refused"},
        {{IAC, DO, 24}, {IAC, WONT, 24}, "and refused again"},
        // Agreed once, asked again: no answer; the query after it shows nothing came between.
        {{IAC, WILL, COM, IAC, SB, COM, 0, IAC, SE}, {IAC, SB, COM, 100, 't', 'o', 'v', 'a', 'n', IAC, SE},
         "a repeated offer is not answered; the signature is"},
        {{IAC, DONT, 0}, {IAC, WONT, 0}, "binary switched off"},
    };
    for (const auto& [request, answer, what] : cases) Exchange(*c, request, answer, what);
}

TEST_F(Rfc2217Test, LineRequestsAreAnsweredWithWhatTheLineHolds) {
    auto c = Connect();
    Exchange(*c, {IAC, WILL, COM}, {IAC, DO, COM}, "negotiation");
    struct Case {
        Bytes request, answer;
        const char* what;
    };
    const std::vector<Case> cases = {
        {ComPort({1, 0, 0, 0, 0}), ComPort({101, 0, 0, 0x25, 0x80}), "rate query: 9600"},
        {ComPort({1, 0, 0, 0x4B, 0x00}), ComPort({101, 0, 0, 0x4B, 0x00}), "19200"},
        {ComPort({1, 0, 0x03, 0xE8, 0x00}), ComPort({101, 0, 0x03, 0xE8, 0x00}), "256000, a rate beside the table"},
        {ComPort({1, 0, 0, 0x4B, 0x00}), ComPort({101, 0, 0, 0x4B, 0x00}), "19200 again"},
        {ComPort({2, 9}), ComPort({102, 8}), "9 data bits: the line keeps 8"},
        {ComPort({2, 7}), ComPort({102, 7}), "7 data bits as recorded"},
        {ComPort({2, 0}), ComPort({102, 7}), "data bits query"},
        {ComPort({2, 8}), ComPort({102, 8}), "8 data bits"},
        {ComPort({3, 3}), ComPort({103, 3}), "even parity"},
        {ComPort({3, 9}), ComPort({103, 3}), "unknown parity: unchanged"},
        {ComPort({4, 2}), ComPort({104, 2}), "two stop bits"},
        {ComPort({4, 3}), ComPort({104, 2}), "one and a half: unchanged"},
        {ComPort({4, 0}), ComPort({104, 2}), "stop bits query"},
        {ComPort({5, 1}), ComPort({105, 1}), "no flow control, as the line is"},
        {ComPort({5, 3}), ComPort({105, 1}), "hardware flow control: not taken"},
        {ComPort({5, 13}), ComPort({105, 14}), "inbound flow query"},
        {ComPort({5, 5}), ComPort({105, 6}), "BREAK on: the line stays off"},
        {ComPort({5, 9}), ComPort({105, 9}), "DTR off on a pty: as requested"},
        {ComPort({5, 7}), ComPort({105, 9}), "DTR query"},
        {ComPort({5, 8}), ComPort({105, 8}), "DTR on"},
        {ComPort({5, 11}), ComPort({105, 11}), "RTS on"},
        {ComPort({10, 0xFF}), ComPort({110, 0xFF}), "line-state mask, 0xFF escaped"},
        {ComPort({6}), ComPort({106, 0}), "line-state request"},
        {ComPort({11, 0x30}), Join(ComPort({111, 0x30}), ComPort({107, 0x10})),
         "modem-state mask, then the state: CTS on a pty"},
        {ComPort({7}), ComPort({107, 0x10}), "modem-state request"},
        {ComPort({12, 2}), ComPort({112, 2}), "purge towards the device"},
        {ComPort({12, 3}), ComPort({112, 3}), "purge both ways"},
    };
    for (const Case& k : cases) Exchange(*c, k.request, k.answer, k.what);

    // What a pty keeps of 19200 8E2.
    const termios t = Line();
    EXPECT_EQ(B19200, cfgetospeed(&t));
    EXPECT_TRUE(t.c_cflag & CSTOPB);
    EXPECT_TRUE(t.c_iflag & INPCK);
    EXPECT_FALSE(t.c_cflag & PARODD);
    EXPECT_FALSE(t.c_cflag & CRTSCTS);
    EXPECT_TRUE(engine->Log().FindString(c->PeerText()) >= 0);
}

TEST_F(Rfc2217Test, ModemLineChangesAreNotifiedOnceComPortIsAgreed) {
    auto raw = Connect();
    auto c = Connect();
    Exchange(*c, {IAC, WILL, COM}, {IAC, DO, COM}, "negotiation");
    Exchange(*c, ComPort({7}), ComPort({107, 0x10}), "CTS on: a pty is a null-modem cable");
    g_hDevice.load()->ForceCtsOff(true);
    EXPECT_EQ(ComPort({107, 0x01}), c->Receive(ComPort({107, 0x01}).size())) << "CTS off, CTS changed";
    Exchange(*c, ComPort({11, 0x01}), Join(ComPort({111, 0x01}), ComPort({107, 0})), "only the change bit from now on");
    g_hDevice.load()->ForceCtsOff(false);
    EXPECT_EQ(ComPort({107, 0x01}), c->Receive(ComPort({107, 0x01}).size())) << "CTS on again, masked";
    Exchange(*c, ComPort({11, 0x80}), Join(ComPort({111, 0x80}), ComPort({107, 0})), "carrier detect only");
    g_hDevice.load()->ForceCtsOff(true);
    Exchange(*c, ComPort({6}), ComPort({106, 0}), "a change the mask leaves out is not sent");
    EXPECT_TRUE(raw->Receive(1, 300).empty()) << "a client that did not negotiate gets no notification";
}

TEST_F(Rfc2217Test, FaultySequencesNeverReachTheDeviceNorStopTheConnection) {
    auto c = Connect();
    c->Send(Bytes{'a', IAC, SB, COM, 1, 0, 0});  // a rate request cut short
    c->Send(Bytes{IAC, DO, 3});
    EXPECT_EQ((Bytes{IAC, WILL, 3}), c->Receive(3));
    c->Send(Bytes{IAC, SB, COM, 2, 9, 9, IAC, SE});  // wrong length: no answer
    c->Send(Bytes{IAC, WILL});                        // cut short by the next
    c->Send(ComPort({4, 0}));
    EXPECT_EQ(ComPort({104, 1}), c->Receive(ComPort({104, 1}).size()));
    c->Send(Bytes{'b'});
    EXPECT_EQ((Bytes{'a', 'b'}), pty.Receive(2));
    EXPECT_FALSE(pty.Readable(50));
    pty.Send("c");
    EXPECT_EQ((Bytes{'c'}), c->Receive(1));
}

TEST_F(Rfc2217Test, ItsClientTakesTheDeviceDataAndTheDataPortStaysRaw) {
    auto telnetClient = Connect();
    Client data(static_cast<uint16_t>(std::stoi(view.dataPort)));
    ASSERT_TRUE(WaitUntil([&] { return engine->Log().FindString(data.PeerText()) >= 0; }));
    pty.Send(Bytes{0xFF});
    EXPECT_EQ((Bytes{0xFF}), data.Receive(2, 200)) << "the data port does not escape";
    data.Send(Bytes{IAC, WILL, COM});
    EXPECT_EQ((Bytes{IAC, WILL, COM}), pty.Receive(3)) << "nor read telnet";
    data.Close();
    auto again = Connect();
    pty.Send(Bytes{0xFF});
    EXPECT_EQ((Bytes{IAC, IAC}), again->Receive(2));
}

// A printer has no line: what is asked is answered, the device stays open.
class Rfc2217PrinterTest : public Rfc2217Test {
protected:
    std::string DeviceName() override { return "lpt1"; }
    void SetUp() override {
        char pattern[] = "/tmp/tovan-printer-XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(pattern));
        dir = pattern;
        setenv("TOVAN_PRINTER_DIR", dir.c_str(), 1);
        fifo = dir + "/lpt1";
        ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
        paper = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
        ASSERT_GE(paper, 0);
        Rfc2217Test::SetUp();
    }
    void TearDown() override {
        Rfc2217Test::TearDown();
        unsetenv("TOVAN_PRINTER_DIR");
        close(paper);
        unlink(fifo.c_str());
        rmdir(dir.c_str());
    }
    std::string dir, fifo;
    int paper = -1;
};

TEST_F(Rfc2217PrinterTest, LineRequestsAreAnsweredAsAskedAndThePrinterStaysOpen) {
    auto c = Connect();
    Exchange(*c, ComPort({1, 0, 0, 0x4B, 0x00}), ComPort({101, 0, 0, 0x4B, 0x00}), "19200");
    Exchange(*c, ComPort({2, 7}), ComPort({102, 7}), "7 data bits");
    Exchange(*c, ComPort({3, 3}), ComPort({103, 3}), "even parity");
    Exchange(*c, ComPort({1, 0, 0, 0, 0}), ComPort({101, 0, 0, 0x4B, 0x00}), "rate query");
    Exchange(*c, ComPort({5, 9}), ComPort({105, 9}), "DTR off");
    ASSERT_NE(nullptr, g_hDevice.load());
    c->Send("print");
    pollfd p{paper, POLLIN, 0};
    ASSERT_EQ(1, poll(&p, 1, 5000));
    char buf[16];
    EXPECT_EQ(5, read(paper, buf, sizeof buf));
}

// pyserial's own RFC 2217 client, run by Debian's python against the port.
TEST_F(Rfc2217Test, PyserialOpensChangesTheLineAndMovesBytes) {
    if (std::system("/usr/bin/python3 -c 'import serial.rfc2217' 2>/dev/null") != 0) {
        GTEST_SKIP() << "python3-serial is not installed (scripts/setup installs it)";
    }
    const std::string command = std::string("/usr/bin/python3 ") + RFC2217_CLIENT_SCRIPT + " " + std::to_string(port);
    std::string output;
    std::thread client([&] {
        FILE* p = popen(command.c_str(), "r");
        char buf[256];
        while (p && fgets(buf, sizeof buf, p)) output += buf;
        if (p) output += "exit " + std::to_string(pclose(p));
    });
    // The client writes its bytes once the line is 19200 8E2; the device answers.
    EXPECT_EQ((Bytes{'p', 'i', 'n', 'g', 0xFF, 0x00, 0xFE}), pty.Receive(7, 20000));
    const termios t = Line();
    EXPECT_EQ(B19200, cfgetospeed(&t));
    EXPECT_TRUE(t.c_cflag & CSTOPB);
    EXPECT_TRUE(t.c_iflag & INPCK);
    EXPECT_FALSE(t.c_cflag & PARODD);
    pty.Send(Bytes{'p', 'o', 'n', 'g', 0xFF, 0xFF});
    client.join();
    EXPECT_NE(std::string::npos, output.find("read back 19200 8 E 2")) << output;
    EXPECT_NE(std::string::npos, output.find("received ok")) << output;
    EXPECT_NE(std::string::npos, output.find("exit 0")) << output;

    // The line as the server reads it back for any client.
    auto c = Connect();
    Exchange(*c, Join(Join(ComPort({1, 0, 0, 0, 0}), ComPort({2, 0})), Join(ComPort({3, 0}), ComPort({4, 0}))),
             Join(Join(ComPort({101, 0, 0, 0x4B, 0}), ComPort({102, 8})), Join(ComPort({103, 3}), ComPort({104, 2}))),
             "19200 8E2 read back");
}

}  // namespace

// The program itself: the option starts the telnet port, SIGTERM ends it.
TEST(Rfc2217Headless, TheOptionOpensTheTelnetPort) {
    testsupport::PtyPair pty;
    const uint16_t telnetPort = FreePort();
    testsupport::TovanProcess p(TOVAN_BINARY, {"--headless", "--device", pty.path(), "--data-port",
                                               std::to_string(FreePort()), "--ctrl-port", std::to_string(FreePort()),
                                               "--rfc2217-port", std::to_string(telnetPort)});
    ASSERT_TRUE(p.OutputHas("Server gestartet"));
    std::unique_ptr<Client> c;
    ASSERT_TRUE(WaitUntil([&] {
        try {
            c = std::make_unique<Client>(telnetPort);
            return true;
        } catch (const std::exception&) {
            return false;
        }
    }));
    c->Send(Bytes{IAC, SB, COM, 0, IAC, SE});
    EXPECT_EQ((Bytes{IAC, SB, COM, 100, 't', 'o', 'v', 'a', 'n', IAC, SE}), c->Receive(11));
    c->Close();
    p.Signal(SIGTERM);
    EXPECT_EQ(0, p.Wait(3000));
    EXPECT_TRUE(p.OutputHas("Server gestoppt"));
}
