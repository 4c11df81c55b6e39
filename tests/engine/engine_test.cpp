// The engine end to end: a pseudo-terminal as the device, real TCP clients
// on 127.0.0.1, the engine driven as the window drives it.
#include "server/engine/server_engine.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <thread>

#include "kernel_line.h"
#include "pty_pair.h"
#include "server/engine/net_socket.h"
#include "server/engine/server_state.h"
#include "test_helpers.h"

using enginetest::Client;
using enginetest::FreePort;
using enginetest::MessageRecorder;
using enginetest::RecordingView;
using enginetest::WaitUntil;
using testsupport::PtyPair;

namespace {

std::vector<unsigned char> Bytes(std::initializer_list<int> list) {
    std::vector<unsigned char> v;
    for (int b : list) v.push_back(static_cast<unsigned char>(b));
    return v;
}

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        view.device = pty.path();
        view.dataPort = std::to_string(dataPort);
        view.ctrlPort = std::to_string(ctrlPort);
        engine = std::make_unique<ServerEngine>(view);
    }
    void TearDown() override {
        engine.reset();
        EXPECT_EQ(nullptr, g_hDevice.load()) << "the device outlived the engine";
    }

    // Starts and waits until the device is open and both ports take clients.
    void StartAndWait() {
        engine->OnStartStop();
        ASSERT_TRUE(WaitUntil([] { return g_hDevice.load() != nullptr; })) << "device not opened";
        WaitForListener(dataPort);
        WaitForListener(ctrlPort);
    }
    // Waits until something listens on port. The probe connection must have
    // been accepted and ended before the test goes on: until its accept it
    // would take the device data from a later client.
    void WaitForListener(uint16_t port) {
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
        ASSERT_TRUE(WaitUntil([&] { return view.DataStatus() != "connected" && view.CtrlStatus() != "connected"; }));
    }
    // A client whose peer line has appeared: its connection thread runs.
    std::unique_ptr<Client> Connect(uint16_t port) {
        auto c = std::make_unique<Client>(port);
        const std::string peer = c->PeerText();
        EXPECT_TRUE(WaitUntil([&] { return engine->Log().FindString(peer) >= 0; })) << peer;
        return c;
    }
    bool PeerListed(const Client& c) { return engine->Log().FindString(c.PeerText()) >= 0; }
    speed_t Speed() {
        termios t = Line();
        return cfgetospeed(&t);
    }
    termios Line() {
        termios t{};
        EXPECT_EQ(0, tcgetattr(pty.slave(), &t));
        return t;
    }
    // Sends a frame and then a marker byte through "5", so that once the
    // marker reaches the device the frame before it has been carried out.
    void SendFrameAndSync(Client& ctrl, const std::vector<unsigned char>& frame) {
        ctrl.Send(frame);
        ctrl.Send(Bytes({0x35, 0x01, '#'}));
        EXPECT_EQ(Bytes({'#'}), pty.Receive(1));
    }
    // Log lines "<time stamp> - <text>" whose text ends with tail ("" for all).
    std::vector<std::string> LogLinesEndingWith(const std::string& tail) {
        std::vector<std::string> out;
        for (const auto& l : engine->Log().Lines()) {
            const size_t dash = l.find(" - ");
            if (dash == std::string::npos || dash == 0) continue;
            if (l.size() >= tail.size() && l.compare(l.size() - tail.size(), tail.size(), tail) == 0) out.push_back(l);
        }
        return out;
    }

    PtyPair pty;
    MessageRecorder messages;
    RecordingView view;
    uint16_t dataPort = FreePort();
    uint16_t ctrlPort = FreePort();
    std::unique_ptr<ServerEngine> engine;
};

}  // namespace

TEST_F(EngineTest, StartShowsTheRunningStateAndStopTheStoppedOne) {
    EXPECT_EQ(-1, engine->RunningState());
    StartAndWait();
    EXPECT_EQ(0, engine->RunningState());
    EXPECT_EQ("Stop Server", view.Button());
    EXPECT_EQ("Server gestartet", view.Status());
    EXPECT_EQ(1, view.Minimised());
    engine->OnStartStop();
    EXPECT_EQ(-1, engine->RunningState());
    EXPECT_EQ("Start Server", view.Button());
    EXPECT_EQ("Server gestoppt", view.Status());
    EXPECT_EQ(" ", view.DataStatus());
    EXPECT_EQ(" ", view.CtrlStatus());
    EXPECT_TRUE(engine->WaitForWorkers(5000));
    EXPECT_EQ(nullptr, g_hDevice.load());
    EXPECT_TRUE(messages.Texts().empty());
}

TEST_F(EngineTest, StartSetsTheLineTo9600EightNoneOne) {
    // Something else set the line before: Start sets the default again.
    termios t = Line();
    cfsetospeed(&t, B115200);
    cfsetispeed(&t, B115200);
    t.c_cflag |= CSTOPB | PARODD | CRTSCTS;
    t.c_iflag |= INPCK | IXON;
    ASSERT_EQ(0, tcsetattr(pty.slave(), TCSANOW, &t));
    StartAndWait();
    t = Line();
    EXPECT_EQ(B9600, cfgetospeed(&t));
    EXPECT_FALSE(t.c_cflag & CSTOPB);
    EXPECT_FALSE(t.c_cflag & PARODD);
    EXPECT_FALSE(t.c_cflag & CRTSCTS);  // no output handshake
    EXPECT_FALSE(t.c_iflag & INPCK);
    EXPECT_FALSE(t.c_iflag & IXON);
    EXPECT_EQ(CS8, t.c_cflag & CSIZE);
}

TEST_F(EngineTest, DataFlowsBothWaysAndThePeerLineComesAndGoes) {
    StartAndWait();
    auto client = Connect(dataPort);
    EXPECT_TRUE(WaitUntil([&] { return view.DataStatus() == "connected"; }));
    client->Send("to the device");
    EXPECT_EQ(std::string("to the device"), [&] {
        auto v = pty.Receive(13);
        return std::string(v.begin(), v.end());
    }());
    pty.Send("to the client");
    EXPECT_EQ("to the client", client->ReceiveText(13));

    const std::string peer = client->PeerText();
    client->Close();
    EXPECT_TRUE(WaitUntil([&] { return engine->Log().FindString(peer) < 0; }));
    EXPECT_TRUE(WaitUntil([&] { return view.DataStatus().empty(); }));
    EXPECT_TRUE(LogLinesEndingWith("").empty()) << "an orderly close logs nothing";
}

TEST_F(EngineTest, DeviceDataGoesToTheMostRecentClientOnEitherPort) {
    StartAndWait();
    auto first = Connect(dataPort);
    auto second = Connect(dataPort);
    pty.Send("one");
    EXPECT_EQ("one", second->ReceiveText(3));
    EXPECT_TRUE(first->Receive(1, 50).empty());

    // Bytes from either data client reach the device.
    first->Send("A");
    EXPECT_EQ(Bytes({'A'}), pty.Receive(1));
    second->Send("B");
    EXPECT_EQ(Bytes({'B'}), pty.Receive(1));

    auto ctrl = Connect(ctrlPort);
    EXPECT_TRUE(WaitUntil([&] { return view.CtrlStatus() == "connected"; }));
    pty.Send("two");
    EXPECT_EQ("two", ctrl->ReceiveText(3));  // raw, without framing
    EXPECT_TRUE(second->Receive(1, 50).empty());
}

TEST_F(EngineTest, NothingIsDeliveredAfterTheLastClientHasGone) {
    StartAndWait();
    auto client = Connect(dataPort);
    const std::string peer = client->PeerText();
    client->Close();
    ASSERT_TRUE(WaitUntil([&] { return engine->Log().FindString(peer) < 0; }));
    ASSERT_TRUE(WaitUntil([] { return g_hClientSocket.Get() == -1; }));
    pty.Send("for nobody");
    // The device thread reads and drops it; a later client gets only later bytes.
    ASSERT_TRUE(WaitUntil([&] { return !pty.Readable(0); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    auto late = Connect(dataPort);
    pty.Send("fresh");
    EXPECT_EQ("fresh", late->ReceiveText(5));
}

TEST_F(EngineTest, BytesWaitingBeforeStartAreThrownAway) {
    pty.Send("stale");
    StartAndWait();
    auto client = Connect(dataPort);
    pty.Send("new");
    EXPECT_EQ("new", client->ReceiveText(3, 2000));
}

TEST_F(EngineTest, ADeviceThatNeverStopsSendingStillStartsAndStops) {
    std::atomic<bool> streaming{true};
    std::thread device([&] {
        while (streaming) {
            if (write(pty.master(), "0123456789", 10) < 0) {
                pollfd p{pty.master(), POLLOUT, 0};
                poll(&p, 1, 5);
            }
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    StartAndWait();
    auto client = Connect(dataPort);
    EXPECT_EQ(10u, client->Receive(10).size());
    engine->OnStartStop();
    client->Close();
    EXPECT_TRUE(engine->WaitForWorkers(5000));
    streaming = false;
    device.join();
}

TEST_F(EngineTest, ControlFramesChangeTheLine) {
    StartAndWait();
    auto ctrl = Connect(ctrlPort);

    SendFrameAndSync(*ctrl, Bytes({0x31, 0x01, 0x0C}));
    EXPECT_EQ(B115200, Speed());

    SendFrameAndSync(*ctrl, Bytes({0x31, 0x01, 0x0D}));
    testsupport::KernelLine kernel;
    ASSERT_TRUE(testsupport::ReadKernelLine(pty.slave(), kernel));
    EXPECT_EQ(128000u, kernel.ospeed);
    SendFrameAndSync(*ctrl, Bytes({0x31, 0x01, 0x0E}));
    ASSERT_TRUE(testsupport::ReadKernelLine(pty.slave(), kernel));
    EXPECT_EQ(256000u, kernel.ospeed);

    // Index 15: nothing changes, no message.
    SendFrameAndSync(*ctrl, Bytes({0x31, 0x01, 0x0F}));
    ASSERT_TRUE(testsupport::ReadKernelLine(pty.slave(), kernel));
    EXPECT_EQ(256000u, kernel.ospeed);
    // Extra payload bytes are ignored: index 6 is 9600.
    SendFrameAndSync(*ctrl, Bytes({0x31, 0x03, 0x06, 0xFF, 0xFF}));
    EXPECT_EQ(B9600, Speed());

    // Even parity with checking; the pty keeps the parity type and INPCK.
    SendFrameAndSync(*ctrl, Bytes({0x32, 0x01, 0x01}));
    EXPECT_TRUE(Line().c_cflag & PARODD);
    SendFrameAndSync(*ctrl, Bytes({0x32, 0x01, 0x02}));
    EXPECT_FALSE(Line().c_cflag & PARODD);
    EXPECT_FALSE(Line().c_cflag & CMSPAR);
    EXPECT_TRUE(Line().c_iflag & INPCK);
    SendFrameAndSync(*ctrl, Bytes({0x32, 0x01, 0x03}));
    EXPECT_TRUE(Line().c_cflag & CMSPAR);
    EXPECT_TRUE(Line().c_cflag & PARODD);
    SendFrameAndSync(*ctrl, Bytes({0x32, 0x01, 0x00}));
    EXPECT_FALSE(Line().c_iflag & INPCK);

    // Stop bits: 2 gives two, anything else one.
    SendFrameAndSync(*ctrl, Bytes({0x34, 0x01, 0x02}));
    EXPECT_TRUE(Line().c_cflag & CSTOPB);
    SendFrameAndSync(*ctrl, Bytes({0x34, 0x01, 0x03}));
    EXPECT_FALSE(Line().c_cflag & CSTOPB);
    SendFrameAndSync(*ctrl, Bytes({0x34, 0x01, 0x02}));
    SendFrameAndSync(*ctrl, Bytes({0x34, 0x01, 0x01}));
    EXPECT_FALSE(Line().c_cflag & CSTOPB);

    // Data bits 5 to 8 are taken (a pty reports 8 whatever is set), and a
    // later change keeps the other fields.
    SendFrameAndSync(*ctrl, Bytes({0x34, 0x01, 0x02}));
    SendFrameAndSync(*ctrl, Bytes({0x33, 0x01, 0x07}));
    SendFrameAndSync(*ctrl, Bytes({0x33, 0x01, 0x05}));
    EXPECT_TRUE(Line().c_cflag & CSTOPB);
    EXPECT_TRUE(messages.Texts().empty());
    EXPECT_TRUE(PeerListed(*ctrl));
}

TEST_F(EngineTest, ImpossibleDataBitsShowAMessageAndCloseTheDevice) {
    StartAndWait();
    auto ctrl = Connect(ctrlPort);
    ctrl->Send(Bytes({0x33, 0x01, 0x09}));
    ASSERT_TRUE(WaitUntil([&] { return !messages.Texts().empty(); }));
    EXPECT_EQ("Could not set device parameters: Invalid argument\n", messages.Texts()[0]);
    EXPECT_EQ(platform::MB_ICONEXCLAMATION, messages.Flags()[0]);
    EXPECT_TRUE(WaitUntil([] { return g_hDevice.load() == nullptr; }));

    // The device is closed for everyone: data goes nowhere, the write is
    // refused (bad descriptor), and the connection ends with its log line.
    ctrl->Send(Bytes({0x35, 0x02, 'n', 'o'}));
    EXPECT_TRUE(ctrl->ClosedByServer());
    EXPECT_TRUE(WaitUntil([&] { return LogLinesEndingWith(" - WriteFile err# 9").size() == 1; }));
    EXPECT_FALSE(pty.Readable(50));
    // Another line operation now fails to read the line.
    auto ctrl2 = Connect(ctrlPort);
    ctrl2->Send(Bytes({0x34, 0x01, 0x02}));
    ASSERT_TRUE(WaitUntil([&] { return messages.Texts().size() == 2; }));
    EXPECT_EQ("Could not get device parameters: Bad file descriptor\n", messages.Texts()[1]);
}

TEST_F(EngineTest, DataFramesAreWrittenToTheDevice) {
    StartAndWait();
    auto ctrl = Connect(ctrlPort);
    ctrl->Send(Bytes({0x35, 0x03, 0x41, 0x42, 0x43}));
    EXPECT_EQ(Bytes({0x41, 0x42, 0x43}), pty.Receive(3));
    // Unknown commands are skipped with their payload.
    ctrl->Send(Bytes({0x39, 0x02, 0x00, 0x00, 0x35, 0x01, 0x44}));
    EXPECT_EQ(Bytes({0x44}), pty.Receive(1));
    // A full 255-byte payload.
    std::vector<unsigned char> frame = {0x35, 0xFF};
    for (int i = 0; i < 255; ++i) frame.push_back(static_cast<unsigned char>(i));
    ctrl->Send(frame);
    EXPECT_EQ(std::vector<unsigned char>(frame.begin() + 2, frame.end()), pty.Receive(255));
}

TEST_F(EngineTest, FramesThatEndTheConnection) {
    StartAndWait();
    for (const auto& frame : {Bytes({0x35, 0x00}), Bytes({0x30, 0x00}), Bytes({0x30, 0x01, 0x00}),
                              Bytes({0x31, 0x00})}) {
        auto ctrl = Connect(ctrlPort);
        const std::string peer = ctrl->PeerText();
        ctrl->Send(frame);
        EXPECT_TRUE(ctrl->ClosedByServer()) << int(frame[0]);
        EXPECT_TRUE(WaitUntil([&] { return engine->Log().FindString(peer) < 0; }));
    }
    EXPECT_TRUE(LogLinesEndingWith("").empty());
    EXPECT_TRUE(view.CtrlStatus().empty());
    EXPECT_FALSE(pty.Readable(20));
}

TEST_F(EngineTest, APartlyReceivedFrameIsDropped) {
    StartAndWait();
    auto ctrl = Connect(ctrlPort);
    const std::string peer = ctrl->PeerText();
    ctrl->Send(Bytes({0x35, 0x05, 'a', 'b'}));
    ctrl->Close();
    EXPECT_TRUE(WaitUntil([&] { return engine->Log().FindString(peer) < 0; }));
    EXPECT_FALSE(pty.Readable(50));
    EXPECT_TRUE(LogLinesEndingWith("").empty());
}

TEST_F(EngineTest, AResetClientLeavesALogLine) {
    StartAndWait();
    auto client = Connect(dataPort);
    linger hard{1, 0};
    setsockopt(client->fd(), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    client->Close();
    EXPECT_TRUE(WaitUntil([&] { return LogLinesEndingWith(" - Connection reset by peer").size() == 1; }));
}

TEST_F(EngineTest, APortInUseIsLoggedAndStopEndsTheListenerWithoutTheMinutePause) {
    CNetSocket occupier;
    ASSERT_EQ(0, occupier.Listen(dataPort));
    engine->OnStartStop();
    ASSERT_TRUE(WaitUntil([&] { return LogLinesEndingWith(" - bind - Address already in use").size() == 1; }));
    WaitForListener(ctrlPort);  // the other port works
    engine->OnStartStop();
    // The listener pausing after the failed bind ends with Stop.
    EXPECT_TRUE(engine->WaitForWorkers(5000));
}

TEST_F(EngineTest, SamePortForBothChannelsFailsTheSecondBind) {
    view.ctrlPort = view.dataPort;
    engine->OnStartStop();
    ASSERT_TRUE(WaitUntil([&] { return LogLinesEndingWith(" - bind - Address already in use").size() == 1; }));
    // Whichever listener won the port serves the client: a "5" frame reaches
    // the device as the byte x (control) or as the three raw bytes (data).
    WaitForListener(dataPort);
    auto client = Connect(dataPort);
    client->Send(Bytes({0x35, 0x01, 'x'}));
    const auto got = pty.Receive(3, 300);
    ASSERT_FALSE(got.empty());
    EXPECT_EQ('x', got.back());
}

TEST_F(EngineTest, StopLeavesALiveConnectionRunningButNeverWritesToTheClosedDevice) {
    StartAndWait();
    auto client = Connect(dataPort);
    engine->OnStartStop();
    EXPECT_EQ(0, engine->Log().Count());
    EXPECT_EQ(" ", view.DataStatus());
    EXPECT_EQ(" ", view.CtrlStatus());
    ASSERT_TRUE(WaitUntil([] { return g_hDevice.load() == nullptr; }));
    // Still connected: the server has not closed it.
    EXPECT_FALSE(client->ClosedByServer(50));
    // Its next bytes find no device: refused, logged, connection ended.
    client->Send("late");
    EXPECT_TRUE(client->ClosedByServer());
    EXPECT_FALSE(pty.Readable(50));
    EXPECT_TRUE(WaitUntil([&] { return LogLinesEndingWith(" - WriteFile err# 9").size() == 1; }));
    EXPECT_TRUE(engine->WaitForWorkers(5000));
}

TEST_F(EngineTest, AMissingDeviceIsReportedAndTheListenersStillRun) {
    view.device = "/dev/no-such-device-for-tovan";
    engine->OnStartStop();
    ASSERT_TRUE(WaitUntil([&] { return !messages.Texts().empty(); }));
    EXPECT_EQ("Could not open device: No such file or directory\n", messages.Texts()[0]);
    EXPECT_EQ(platform::MB_ICONEXCLAMATION, messages.Flags()[0]);
    EXPECT_EQ(0, engine->RunningState());
    WaitForListener(dataPort);
    auto client = Connect(dataPort);
    client->Send("x");
    EXPECT_TRUE(client->ClosedByServer());
    EXPECT_TRUE(WaitUntil([&] { return LogLinesEndingWith(" - WriteFile err# 9").size() == 1; }));
}

TEST_F(EngineTest, APortTextThatIsNoNumberStillStops) {
    view.dataPort = "abc";  // port 0: the system picks one; nothing can wake it
    engine->OnStartStop();
    WaitForListener(ctrlPort);
    engine->OnStartStop();
    EXPECT_TRUE(engine->WaitForWorkers(5000));
}

TEST_F(EngineTest, RestartRequestIgnoresASerialDevice) {
    StartAndWait();
    engine->OnRestartDevice();
    EXPECT_EQ(1, view.Minimised());
    EXPECT_EQ(0, engine->RunningState());
}

TEST_F(EngineTest, EveryByteArrivesInOrderAtTheHighestTableRate) {
    StartAndWait();
    auto ctrl = Connect(ctrlPort);
    SendFrameAndSync(*ctrl, Bytes({0x31, 0x01, 0x0E}));  // 256000 baud
    std::vector<unsigned char> data(300000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<unsigned char>((i * 131) ^ (i >> 9));

    std::vector<unsigned char> atClient;
    std::thread reader([&] { atClient = ctrl->Receive(data.size(), 10000); });
    pty.Send(data);
    reader.join();
    EXPECT_TRUE(atClient == data) << "device to client: " << atClient.size() << " of " << data.size();

    auto client = Connect(dataPort);
    std::vector<unsigned char> atDevice;
    std::thread deviceReader([&] { atDevice = pty.Receive(data.size(), 10000); });
    client->Send(data);
    deviceReader.join();
    EXPECT_TRUE(atDevice == data) << "client to device: " << atDevice.size() << " of " << data.size();
}

namespace {

// Bytes that show their own position: a lost or moved byte changes the run.
std::vector<unsigned char> Pattern(size_t size) {
    std::vector<unsigned char> v(size);
    for (size_t i = 0; i < size; ++i) v[i] = static_cast<unsigned char>((i * 7 + i / 251) & 0xFF);
    return v;
}

int Waiting(int fd) {
    int n = 0;
    ioctl(fd, FIONREAD, &n);
    return n;
}

// The device sends bytes, and the engine has read them all: true once every
// byte has left the far end and none waits at the device within timeoutMs.
bool DeviceSends(const PtyPair& pty, const std::vector<unsigned char>& bytes, int timeoutMs = 10000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(pty.master(), bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (std::chrono::steady_clock::now() > end) return false;
        pollfd p{pty.master(), POLLOUT, 0};
        poll(&p, 1, 50);
    }
    // Bytes pass the line's buffers on a kernel worker of their own: the
    // device is read out once nothing waits twice in a row.
    return WaitUntil(
        [&] {
            if (Waiting(pty.slave()) != 0) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            return Waiting(pty.slave()) == 0;
        },
        timeoutMs);
}

// A client that sends without waiting for the server to take the bytes, on
// its own thread, until it has sent everything or the server is gone.
class Flood {
public:
    Flood(int socket, size_t size) : thread_([socket, size, this] {
        const std::vector<unsigned char> bytes(size, 'A');
        size_t done = 0;
        while (done < size && !stop_) {
            const ssize_t n = send(socket, bytes.data() + done, size - done, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n > 0) {
                done += static_cast<size_t>(n);
            } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                break;
            } else {
                pollfd p{socket, POLLOUT, 0};
                poll(&p, 1, 20);
            }
        }
    }) {}
    ~Flood() {
        stop_ = true;
        thread_.join();
    }

private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace

TEST_F(EngineTest, DeviceDataNobodyReceivesIsCountedInTheLog) {
    StartAndWait();
    ASSERT_TRUE(DeviceSends(pty, Pattern(3000)));
    EXPECT_TRUE(WaitUntil([&] { return enginetest::DroppedInLog(engine->Log().Lines()) == 3000; }))
        << enginetest::DroppedInLog(engine->Log().Lines());
}

TEST_F(EngineTest, AClientThatStopsReadingHoldsUpNobodyAndGetsItsQueueWhenItStopsSending) {
    StartAndWait();
    auto slow = std::make_unique<Client>(dataPort, 4096);
    ASSERT_TRUE(WaitUntil([&] { return PeerListed(*slow); }));
    // More than the kernel's socket buffers and the client's queue together.
    const auto burst = Pattern(5 * 1024 * 1024);
    ASSERT_TRUE(DeviceSends(pty, burst)) << "the device was not read while a client did not read";
    auto next = Connect(ctrlPort);
    pty.Send("hello");
    EXPECT_EQ("hello", next->ReceiveText(5));
    // Drops are logged at most once a second: after that the count is complete.
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    const uint64_t droppedBeforeClose = enginetest::DroppedInLog(engine->Log().Lines());
    // The client stops sending and reads what was queued for it, to the end.
    shutdown(slow->fd(), SHUT_WR);
    const auto received = slow->Receive(burst.size(), 5000);
    EXPECT_TRUE(slow->ClosedByServer());
    // Until its queue was full, the client lost nothing.
    const size_t held = 1024 * 1024;
    ASSERT_GE(received.size(), held) << "a client's queue holds at least 1 MiB";
    EXPECT_TRUE(std::equal(received.begin(), received.begin() + held, burst.begin())) << "bytes lost or out of order";
    EXPECT_TRUE(WaitUntil([&] { return received.size() + enginetest::DroppedInLog(engine->Log().Lines()) == burst.size(); }))
        << received.size() << " received, " << enginetest::DroppedInLog(engine->Log().Lines()) << " dropped";
    EXPECT_EQ(droppedBeforeClose, enginetest::DroppedInLog(engine->Log().Lines())) << "its queue was dropped at its close";
}

TEST_F(EngineTest, AStalledDeviceWriteDoesNotKeepTheNextRunFromTheDevice) {
    StartAndWait();
    auto writer = Connect(dataPort);
    // Nobody reads the far end: the line fills and the device write stalls.
    Flood flood(writer->fd(), 4 * 1024 * 1024);
    ASSERT_TRUE(WaitUntil([&] { return Waiting(pty.master()) > 0; }));
    const std::weak_ptr<ServerDevice> previous = g_hDevice.load();
    engine->OnStartStop();
    engine->OnStartStop();
    EXPECT_TRUE(WaitUntil([&] {
        const auto now = g_hDevice.load();
        return now != nullptr && now != previous.lock();
    })) << "the device was not opened again";
    EXPECT_TRUE(messages.Texts().empty()) << messages.Texts().front();
    while (!pty.Receive(65536, 200).empty()) {
    }
    auto next = Connect(dataPort);
    next->Send("Z");
    bool arrived = false;
    while (!arrived) {
        const auto got = pty.Receive(1, 3000);
        if (got.empty()) break;
        arrived = got[0] == 'Z';
    }
    EXPECT_TRUE(arrived);
}

TEST_F(EngineTest, AClientBeyondTheCapIsClosedAtOnceAndNeverReceives) {
    view.maxClients = 2;
    StartAndWait();
    auto first = Connect(dataPort);
    auto second = Connect(ctrlPort);
    Client third(dataPort);
    EXPECT_TRUE(third.ClosedByServer());
    EXPECT_TRUE(WaitUntil([&] { return LogLinesEndingWith(third.PeerText() + ": 2 clients are connected").size() == 1; }));
    pty.Send("x");
    EXPECT_EQ("x", second->ReceiveText(1));
}

TEST_F(EngineTest, ListenersBindToTheGivenAddressAndStopEndsThem) {
    view.bind = "127.0.0.2";
    engine->OnStartStop();
    auto reachable = [&](const char* address) {
        try {
            Client probe(dataPort, 0, address);
            return true;
        } catch (const std::exception&) {
            return false;
        }
    };
    ASSERT_TRUE(WaitUntil([&] { return reachable("127.0.0.2"); }));
    EXPECT_FALSE(reachable("127.0.0.1"));
    engine->OnStartStop();
    EXPECT_TRUE(WaitUntil([&] { return !reachable("127.0.0.2"); }));
}

// Printer devices: a FIFO under TOVAN_PRINTER_DIR stands in for the port.
class PrinterTest : public EngineTest {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tovan-printer-XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(pattern));
        dir = pattern;
        setenv("TOVAN_PRINTER_DIR", dir.c_str(), 1);
        EngineTest::SetUp();
    }
    void TearDown() override {
        EngineTest::TearDown();
        unsetenv("TOVAN_PRINTER_DIR");
        for (const auto& f : files) unlink(f.c_str());
        rmdir(dir.c_str());
    }
    std::string MakeFifo(const std::string& name) {
        const std::string path = dir + "/" + name;
        EXPECT_EQ(0, mkfifo(path.c_str(), 0600));
        files.push_back(path);
        return path;
    }
    std::string dir;
    std::vector<std::string> files;
};

TEST_F(PrinterTest, APrinterIsOpenedWrittenAndRestartedButNeverConfigured) {
    const std::string fifo = MakeFifo("lpt1");
    // Our end of the "printer": reading what the server prints.
    const int paper = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(paper, 0);
    view.device = "lpt1";
    StartAndWait();
    EXPECT_FALSE(g_hDevice.load()->IsTerminal());
    auto client = Connect(dataPort);
    client->Send("print me");
    pollfd p{paper, POLLIN, 0};
    ASSERT_EQ(1, poll(&p, 1, 5000));
    char buf[32];
    EXPECT_EQ(8, read(paper, buf, sizeof buf));
    EXPECT_EQ("print me", std::string(buf, 8));

    // The restart request closes and reopens it; the server keeps running.
    const std::weak_ptr<platform::SerialPort> before = g_hDevice.load();
    engine->OnRestartDevice();
    EXPECT_EQ(0, engine->RunningState());
    EXPECT_EQ(2, view.Minimised());
    ASSERT_TRUE(WaitUntil([&] { return before.expired() && g_hDevice.load() != nullptr; }));
    WaitForListener(dataPort);
    auto again = Connect(dataPort);
    again->Send("twice");
    // Between the close and the reopen the FIFO had no writer and reads
    // end-of-file; keep reading until the bytes come.
    std::string printed;
    WaitUntil([&] {
        const ssize_t n = read(paper, buf, sizeof buf);
        if (n > 0) printed.append(buf, n);
        return printed.size() >= 5;
    });
    EXPECT_EQ("twice", printed);
    // The reopen found the printer free: the old run let go of it in time.
    EXPECT_TRUE(WaitUntil([&] { return g_hDevice.load() != nullptr; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(messages.Texts().empty());
    close(paper);
}

TEST_F(PrinterTest, CapitalLptIsASerialLineAndCannotBeSetUp) {
    MakeFifo("LPT1");
    view.device = "LPT1";
    engine->OnStartStop();
    ASSERT_TRUE(WaitUntil([&] { return !messages.Texts().empty(); }));
    EXPECT_EQ("Could not get device parameters: Inappropriate ioctl for device\n", messages.Texts()[0]);
    EXPECT_EQ(nullptr, g_hDevice.load());
}

TEST_F(PrinterTest, RestartRequestOnAStoppedServerStartsAndStops) {
    MakeFifo("prn");
    view.device = "prn";
    engine->OnRestartDevice();
    EXPECT_EQ(-1, engine->RunningState());
    EXPECT_EQ("Server gestoppt", view.Status());
    EXPECT_EQ(1, view.Minimised());
    EXPECT_TRUE(engine->WaitForWorkers(5000));
}
