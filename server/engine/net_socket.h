#pragma once
// CNetSocket: the small TCP wrapper every network thread of the server uses.
// IPv4 and TCP only. Every failing operation returns -1 (0 for an orderly
// close in ReceiveExact) and leaves a ready text in LastErrorText(), such as
// "bind - Address already in use"; nothing is shown or logged here.
//
// Invariant: a handle is -1 exactly when it is not open; closing a handle
// that is -1 does nothing. One object is used by one thread only.
#include <cstdint>
#include <string>

struct sockaddr_in;

// Whether an accept that failed with this errno may succeed later on the
// same listening socket.
bool IsTransientAcceptError(int error);

// "dotted address:decimal port" of an IPv4 address, as peer lines show it.
std::string PeerTextFor(const sockaddr_in& address);

class CNetSocket {
public:
    CNetSocket();
    virtual ~CNetSocket();
    CNetSocket(const CNetSocket&) = delete;
    CNetSocket& operator=(const CNetSocket&) = delete;

    // Closes the connection socket, then the listening socket, each only if
    // open. Returns the result of the last close made, 0 when none was open.
    int CloseSockets();
    // Adopts an accepted socket as the connection socket; the wrapper closes it.
    void SetSocket(int socket);
    // Hands the connection socket back to the caller without closing it.
    int ReleaseSocket();

    // Socket, bind to address (dotted IPv4 text, "" for any address) and
    // port, listen. 0, or -1 with "socket - ", "bind - " or "listen - " and
    // the reason (an address that is no dotted IPv4 text: "bind - Invalid
    // argument"). Returns 0 at once when the listening socket is already open
    // (only the port is stored).
    int Listen(uint16_t port, const std::string& address = "");
    // Blocking accept. Returns the new socket (Nagle's algorithm off, TCP
    // keep-alive on, so a peer that vanished is noticed within minutes), which
    // becomes the connection socket, and fills the peer text; on failure
    // "accept - " and -1. A failure that passes (IsTransientAcceptError:
    // out of descriptors or memory, a client that gave up while waiting)
    // keeps the listening socket and its waiting clients; any other closes
    // both sockets.
    int Accept();
    // errno of the last failing operation.
    int LastErrno() const { return lastErrno_; }
    // Connects to address (dotted text) and port. 0, or -1 with
    // "socket - " or "connect - " and the reason.
    int Connect(uint16_t port, const char* address);
    // Receives exactly count bytes. Returns count, 0 when the peer closed
    // first (bytes already received are dropped) or count <= 0, -1 with
    // "recv - " and the reason.
    int ReceiveExact(void* buffer, int count);

    const std::string& LastErrorText() const { return lastError_; }
    // "dotted address:port" of the last accepted client.
    const std::string& PeerText() const { return peer_; }
    int ConnectionSocket() const { return socket_; }
    int ListeningSocket() const { return listenSocket_; }
    uint16_t Port() const { return port_; }
    const char* RemoteAddress() const { return remoteAddress_; }

private:
    void SetError(const char* operation);

    std::string peer_;
    std::string lastError_;
    int socket_ = -1;
    int listenSocket_ = -1;
    int lastErrno_ = 0;
    const char* remoteAddress_ = nullptr;
    uint16_t port_ = 0;
};
