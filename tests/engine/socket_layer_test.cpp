#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "server/engine/net_socket.h"
#include "server/engine/socket_error.h"
#include "test_helpers.h"

using enginetest::Client;
using enginetest::FreePort;

TEST(SocketErrorText, KnownCodesNamesAndUnknownCodes) {
    EXPECT_EQ("Connection closed", SocketErrorText(0));
    EXPECT_EQ("Address already in use", SocketErrorText(10048));
    EXPECT_EQ("Connection refused", SocketErrorText(10061));
    EXPECT_EQ("Connection reset by peer", SocketErrorText(10054));
    EXPECT_EQ("WSAEBADF", SocketErrorText(10009));
    EXPECT_EQ("WSAEREMOTE", SocketErrorText(10071));
    EXPECT_EQ("Valid name, no data record of requested type", SocketErrorText(11004));
    EXPECT_EQ("error #10001", SocketErrorText(10001));
    EXPECT_EQ("error #-5", SocketErrorText(-5));
}

TEST(SocketErrorText, PosixErrorsReadAsTheirWinsockTexts) {
    EXPECT_EQ(10048, WinsockErrorFromErrno(EADDRINUSE));
    EXPECT_EQ(10061, WinsockErrorFromErrno(ECONNREFUSED));
    EXPECT_EQ(10054, WinsockErrorFromErrno(ECONNRESET));
    EXPECT_EQ(10060, WinsockErrorFromErrno(ETIMEDOUT));
    EXPECT_EQ(10035, WinsockErrorFromErrno(EWOULDBLOCK));
    EXPECT_EQ(0, WinsockErrorFromErrno(0));
    // No Winsock counterpart: the number passes through and reads "error #".
    EXPECT_EQ("error #" + std::to_string(EIO), SocketErrorText(WinsockErrorFromErrno(EIO)));
}

TEST(NetSocket, ListenTwiceOnlyStoresThePort) {
    const uint16_t port = FreePort();
    CNetSocket net;
    ASSERT_EQ(0, net.Listen(port));
    const int listening = net.ListeningSocket();
    EXPECT_NE(-1, listening);
    EXPECT_EQ(0, net.Listen(static_cast<uint16_t>(port + 1)));
    EXPECT_EQ(listening, net.ListeningSocket());
    EXPECT_EQ(port + 1, net.Port());
}

TEST(NetSocket, PortInUseFailsWithTheBindText) {
    const uint16_t port = FreePort();
    CNetSocket first, second;
    ASSERT_EQ(0, first.Listen(port));
    EXPECT_EQ(-1, second.Listen(port));
    EXPECT_EQ("bind - Address already in use", second.LastErrorText());
    EXPECT_EQ(-1, second.ListeningSocket());
}

TEST(NetSocket, ConnectToAClosedPortIsRefused) {
    CNetSocket net;
    EXPECT_EQ(-1, net.Connect(FreePort(), "127.0.0.1"));
    EXPECT_EQ("connect - Connection refused", net.LastErrorText());
    EXPECT_NE(-1, net.ConnectionSocket());  // open until CloseSockets
    EXPECT_EQ(0, net.CloseSockets());
    EXPECT_EQ(-1, net.ConnectionSocket());
    EXPECT_EQ(0, net.CloseSockets());  // nothing open: nothing to do
}

TEST(NetSocket, AcceptGivesTheClientsAddressAsPeerText) {
    const uint16_t port = FreePort();
    CNetSocket server;
    ASSERT_EQ(0, server.Listen(port));
    Client client(port);
    const int accepted = server.Accept();
    ASSERT_NE(-1, accepted);
    EXPECT_EQ(accepted, server.ConnectionSocket());
    EXPECT_EQ(client.PeerText(), server.PeerText());
}

TEST(NetSocket, AcceptedSocketsNoticeAVanishedPeerByKeepAlive) {
    const uint16_t port = FreePort();
    CNetSocket server;
    ASSERT_EQ(0, server.Listen(port));
    Client client(port);
    const int accepted = server.Accept();
    ASSERT_NE(-1, accepted);
    int on = 0, idle = 0;
    socklen_t size = sizeof on;
    getsockopt(accepted, SOL_SOCKET, SO_KEEPALIVE, &on, &size);
    getsockopt(accepted, IPPROTO_TCP, TCP_KEEPIDLE, &idle, &size);
    EXPECT_EQ(1, on);
    EXPECT_LE(idle, 300);
}

TEST(NetSocket, ListenOnOneAddressOnly) {
    const uint16_t port = FreePort();
    CNetSocket server;
    ASSERT_EQ(0, server.Listen(port, "127.0.0.2"));
    EXPECT_THROW(Client(port, 0, "127.0.0.1"), std::runtime_error);
    EXPECT_NO_THROW(Client(port, 0, "127.0.0.2"));
    CNetSocket bad;
    EXPECT_EQ(-1, bad.Listen(FreePort(), "localhost"));
    EXPECT_EQ("bind - Invalid argument", bad.LastErrorText());
}

TEST(NetSocket, AcceptOnAClosedListenerFailsAndClosesBoth) {
    CNetSocket net;
    EXPECT_EQ(-1, net.Accept());
    EXPECT_EQ("accept - WSAEBADF", net.LastErrorText());
    EXPECT_EQ(-1, net.ListeningSocket());
}

TEST(NetSocket, ReceiveExactCollectsPiecesAndReportsAnEarlyClose) {
    const uint16_t port = FreePort();
    CNetSocket server;
    ASSERT_EQ(0, server.Listen(port));
    Client client(port);
    ASSERT_NE(-1, server.Accept());
    char buf[8] = {};
    EXPECT_EQ(0, server.ReceiveExact(buf, 0));  // nothing asked: nothing read

    std::thread sender([&] {
        client.Send("ab");
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        client.Send("cd");
    });
    EXPECT_EQ(4, server.ReceiveExact(buf, 4));
    sender.join();
    EXPECT_EQ("abcd", std::string(buf, 4));

    client.Send("x");
    client.Close();
    EXPECT_EQ(0, server.ReceiveExact(buf, 2));
}

TEST(NetSocket, ReceiveFailureCarriesTheRecvText) {
    const uint16_t port = FreePort();
    CNetSocket server;
    ASSERT_EQ(0, server.Listen(port));
    {
        Client client(port);
        // Reset instead of an orderly close.
        linger hard{1, 0};
        setsockopt(client.fd(), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        ASSERT_NE(-1, server.Accept());
    }
    char buf[2];
    EXPECT_EQ(-1, server.ReceiveExact(buf, 2));
    EXPECT_EQ("recv - Connection reset by peer", server.LastErrorText());
}
