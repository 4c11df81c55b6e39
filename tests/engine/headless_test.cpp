// The tovan program itself, run headless as a user runs it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "pty_pair.h"
#include "tovan_process.h"
#include "test_helpers.h"


using enginetest::Client;
using enginetest::FreePort;
using enginetest::WaitUntil;

namespace {

// A running tovan with its standard output and error in pipes.
struct Program : testsupport::TovanProcess {
    explicit Program(std::vector<std::string> args, int outputPipeSize = 0)
        : TovanProcess(TOVAN_BINARY, std::move(args), outputPipeSize) {}
};

// Connects as soon as the program listens on port.
std::unique_ptr<Client> ConnectWhenListening(uint16_t port) {
    std::unique_ptr<Client> client;
    WaitUntil([&] {
        try {
            client = std::make_unique<Client>(port);
            return true;
        } catch (const std::exception&) {
            return false;
        }
    });
    return client;
}

std::vector<std::string> ServerArgs(const std::string& device, uint16_t data, uint16_t ctrl,
                                    std::vector<std::string> more = {}) {
    std::vector<std::string> args{"--headless",  "--device", device, "--data-port", std::to_string(data),
                                  "--ctrl-port", std::to_string(ctrl)};
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

}  // namespace

TEST(Headless, ABadOptionOrAMissingValueIsAUsageErrorWithCode2) {
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"--headless", "--bogus"}, {"--headless", "--device"}, {"--headless", "--data-port", "x"}}) {
        Program p(args);
        EXPECT_EQ(2, p.Wait());
        const std::string err = p.Errors();
        EXPECT_NE(std::string::npos, err.find("usage: tovan")) << err;
        EXPECT_EQ(1, std::count(err.begin(), err.end(), '\n')) << err;
    }
}

TEST(Headless, PrintsPeersAndEndsCleanlyOnSigterm) {
    testsupport::PtyPair pty;
    const uint16_t data = FreePort(), ctrl = FreePort();
    Program p({"--headless", "--device", pty.path(), "--data-port", std::to_string(data), "--ctrl-port",
               std::to_string(ctrl)});
    ASSERT_TRUE(p.OutputHas("Server gestartet"));
    std::unique_ptr<Client> client;
    ASSERT_TRUE(WaitUntil([&] {
        try {
            client = std::make_unique<Client>(data);
            return true;
        } catch (const std::exception&) {
            return false;
        }
    }));
    const std::string peer = client->PeerText();
    EXPECT_TRUE(p.OutputHas("connected " + peer));
    client->Send("hi");
    EXPECT_EQ(2u, pty.Receive(2).size());
    client->Close();
    EXPECT_TRUE(p.OutputHas("disconnected " + peer));
    p.Signal(SIGTERM);
    EXPECT_EQ(0, p.Wait(3000));
    EXPECT_TRUE(p.OutputHas("Server gestoppt"));
}

TEST(Headless, MessageBoxesGoToStandardErrorAndSigintEnds) {
    const uint16_t data = FreePort(), ctrl = FreePort();
    // Started as a script's background job would be: SIGINT ignored on entry.
    auto previous = signal(SIGINT, SIG_IGN);
    Program p({"--headless", "--device", "/dev/no-such-tovan-device", "--data-port", std::to_string(data),
               "--ctrl-port", std::to_string(ctrl)});
    signal(SIGINT, previous);
    EXPECT_TRUE(p.ErrorsHave("Could not open device: No such file or directory"));
    p.Signal(SIGINT);
    EXPECT_EQ(0, p.Wait(3000));
}

TEST(Headless, Sigusr1RestartsAPrinterDevice) {
    char pattern[] = "/tmp/tovan-headless-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    const std::string dir = pattern, fifo = dir + "/prn";
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
    const int paper = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    setenv("TOVAN_PRINTER_DIR", dir.c_str(), 1);
    const uint16_t data = FreePort(), ctrl = FreePort();
    {
        Program p({"--headless", "--device", "prn", "--data-port", std::to_string(data), "--ctrl-port",
                   std::to_string(ctrl)});
        ASSERT_TRUE(p.OutputHas("Server gestartet"));
        p.Signal(SIGUSR1);
        EXPECT_TRUE(p.OutputHas("Server gestoppt\nServer gestartet"));
        p.Signal(SIGTERM);
        EXPECT_EQ(0, p.Wait(3000));
        EXPECT_EQ("", p.Errors());
    }
    unsetenv("TOVAN_PRINTER_DIR");
    close(paper);
    unlink(fifo.c_str());
    rmdir(dir.c_str());
}

TEST(Headless, AnUnreadStandardOutputStopsNeitherTheServerNorItsEnd) {
    testsupport::PtyPair pty;
    const uint16_t data = FreePort(), ctrl = FreePort();
    // Standard output is a small pipe that nobody reads.
    Program p(ServerArgs(pty.path(), data, ctrl), 4096);
    ASSERT_NE(nullptr, ConnectWhenListening(data));
    for (int i = 0; i < 300; ++i) Client passing(data);
    Client client(data);
    client.Send("ping");
    EXPECT_EQ(4u, pty.Receive(4).size()) << "client data no longer reaches the device";
    pty.Send("pong");
    EXPECT_EQ("pong", client.ReceiveText(4)) << "device data no longer reaches the client";
    p.Signal(SIGTERM);
    EXPECT_EQ(0, p.Wait(3000));
}

TEST(Headless, RunningOutOfDescriptorsKeepsThePortAndItsWaitingClients) {
    testsupport::PtyPair pty;
    const uint16_t data = FreePort(), ctrl = FreePort();
    Program p(ServerArgs(pty.path(), data, ctrl));
    ASSERT_TRUE(p.OutputHas("Server gestartet"));
    ASSERT_NE(nullptr, ConnectWhenListening(data));
    const rlimit few{32, 32};
    ASSERT_EQ(0, prlimit(p.pid(), RLIMIT_NOFILE, &few, nullptr));
    std::vector<std::unique_ptr<Client>> clients;
    for (int i = 0; i < 40; ++i) clients.push_back(std::make_unique<Client>(data));
    ASSERT_TRUE(p.OutputHas("accept - Too many open files"));
    // A client that waits while the server has no descriptor is served later.
    const std::string waiting = clients.back()->PeerText();
    clients.erase(clients.begin(), clients.begin() + 30);
    EXPECT_TRUE(p.OutputHas("connected " + waiting));
    std::unique_ptr<Client> late;
    EXPECT_NO_THROW(late = std::make_unique<Client>(data));
    if (late) {
        EXPECT_TRUE(p.OutputHas("connected " + late->PeerText()));
    }
}
