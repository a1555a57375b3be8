#include "net/platform/NativeUdpSocket.h"

#include "net/platform/NumericAddress.h"
#include "net/platform/windows/Winsock.h"

// winsock2.h must come before windows.h, which would bring the old Winsock.
#include <winsock2.h>

#include <windows.h>
#include <ws2tcpip.h>

#include <mswsock.h>

#include <algorithm>

// Without this switch an ICMP port-unreachable, answer to a datagram sent to
// a host where nothing listens, fails the socket's next receive with
// WSAECONNRESET. Older MinGW headers lack the name.
#ifndef SIO_UDP_CONNRESET
#define SIO_UDP_CONNRESET _WSAIOW(IOC_VENDOR, 12)
#endif
// The same for an ICMP time-exceeded (WSAENETRESET).
#ifndef SIO_UDP_NETRESET
#define SIO_UDP_NETRESET _WSAIOW(IOC_VENDOR, 15)
#endif

namespace {

constexpr int kMaxReports = 256;

SOCKET socketOf(qintptr handle) {
    return static_cast<SOCKET>(handle);
}

sockaddr_in socketAddress(quint32 address, quint16 port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = htonl(address);
    return sa;
}

// Switches one of the ICMP reports above off; a system without the switch
// still works, its reports are tolerated when they come (see isTolerated).
void switchOffReport(SOCKET socket, DWORD control) {
    BOOL report = FALSE;
    DWORD returned = 0;
    (void)::WSAIoctl(socket, control, &report, sizeof report, nullptr, 0, &returned, nullptr,
                     nullptr);
}

}  // namespace

NativeUdpSocket::~NativeUdpSocket() {
    close();
}

int NativeUdpSocket::open() {
    close();
    if (const int error = startWinsock(); error != 0) {
        return error;
    }
    // Not inherited by programs this one starts, as SOCK_CLOEXEC on Linux.
    const SOCKET socket =
        ::WSASocketW(AF_INET, SOCK_DGRAM, IPPROTO_UDP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    if (socket == INVALID_SOCKET) {
        return ::WSAGetLastError();
    }
    // The port is held exclusively: without this option another program
    // that binds with SO_REUSEADDR could share it and take its datagrams.
    const BOOL exclusive = TRUE;
    u_long nonBlocking = 1;
    if (::setsockopt(socket, SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
                     reinterpret_cast<const char*>(&exclusive), sizeof exclusive) != 0 ||
        ::ioctlsocket(socket, FIONBIO, &nonBlocking) != 0) {
        const int error = ::WSAGetLastError();
        ::closesocket(socket);
        return error;
    }
    switchOffReport(socket, SIO_UDP_CONNRESET);
    switchOffReport(socket, SIO_UDP_NETRESET);
    handle_ = static_cast<qintptr>(socket);
    return 0;
}

void NativeUdpSocket::close() {
    if (handle_ >= 0) {
        ::closesocket(socketOf(handle_));
        handle_ = -1;
    }
}

int NativeUdpSocket::bindAny(quint16 port) {
    const sockaddr_in sa = socketAddress(INADDR_ANY, port);
    if (::bind(socketOf(handle_), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
        return ::WSAGetLastError();
    }
    return 0;
}

quint16 NativeUdpSocket::localPort() const {
    sockaddr_in sa{};
    int length = sizeof sa;
    if (handle_ < 0 ||
        ::getsockname(socketOf(handle_), reinterpret_cast<sockaddr*>(&sa), &length) != 0) {
        return 0;
    }
    return ntohs(sa.sin_port);
}

int NativeUdpSocket::sendTo(std::span<const char> data, quint32 address, quint16 port) {
    const sockaddr_in sa = socketAddress(address, port);
    // The socket is non-blocking, so a full send queue gives WSAEWOULDBLOCK
    // and the datagram is dropped rather than the window frozen.
    const int sent = ::sendto(socketOf(handle_), data.data(), static_cast<int>(data.size()), 0,
                              reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
    return sent == SOCKET_ERROR ? ::WSAGetLastError() : 0;
}

NativeUdpSocket::Batch NativeUdpSocket::receiveMany(std::span<char> area, size_t slotSize,
                                                    std::span<Datagram> out) {
    // Winsock has no call that reads several datagrams at once: one recvfrom
    // a datagram, until the socket would block or the slots are full.
    const size_t count = std::min(out.size(), area.size() / slotSize);
    Batch batch;
    size_t got = 0;
    // Each ICMP report is one failed call; a bound keeps a flood of them
    // from holding the GUI thread here.
    int reports = 0;
    while (got < count) {
        sockaddr_in from{};
        int fromLength = sizeof from;
        const int size =
            ::recvfrom(socketOf(handle_), area.data() + got * slotSize, static_cast<int>(slotSize),
                       0, reinterpret_cast<sockaddr*>(&from), &fromLength);
        const int error = size == SOCKET_ERROR ? ::WSAGetLastError() : 0;
        if ((error == WSAECONNRESET || error == WSAENETRESET) && ++reports <= kMaxReports) {
            // An ICMP report about an earlier send, where the switch above
            // is missing: no datagram was taken, the next one may wait.
            continue;
        }
        if (error != 0 && error != WSAEMSGSIZE) {
            // Would block: the socket is empty. Any other error is reported
            // when nothing was read before it, else by the next call.
            if (got == 0) {
                batch.error = error;
            }
            break;
        }
        Datagram& slot = out[got];
        slot = Datagram{};
        if (fromLength >= static_cast<int>(sizeof from) && from.sin_family == AF_INET) {
            slot.address = ntohl(from.sin_addr.s_addr);
            slot.port = ntohs(from.sin_port);
        }
        // A datagram longer than its slot is discarded, never cut: Winsock
        // has filled the slot with its start and dropped the rest.
        if (error == WSAEMSGSIZE) {
            slot.error = WSAEMSGSIZE;
        } else {
            slot.size = size;
        }
        ++got;
    }
    batch.count = static_cast<int>(got);
    // Windows does not tell a socket how many datagrams it dropped for want
    // of buffer room: kernelDrops stays unknown.
    return batch;
}

int NativeUdpSocket::countKernelDrops() {
    // See receiveMany: Windows keeps no such count for a socket.
    return WSAEOPNOTSUPP;
}

namespace {

// Windows grants any size a program asks for; gives the size it reports.
int growBuffer(SOCKET socket, int option, int bytes) {
    (void)::setsockopt(socket, SOL_SOCKET, option, reinterpret_cast<const char*>(&bytes),
                       sizeof bytes);
    int granted = 0;
    int length = sizeof granted;
    if (::getsockopt(socket, SOL_SOCKET, option, reinterpret_cast<char*>(&granted), &length) != 0) {
        return 0;
    }
    return granted;
}

}  // namespace

int NativeUdpSocket::growSendBuffer(int bytes) {
    return growBuffer(socketOf(handle_), SO_SNDBUF, bytes);
}

int NativeUdpSocket::growReceiveBuffer(int bytes) {
    return growBuffer(socketOf(handle_), SO_RCVBUF, bytes);
}

std::optional<quint32> NativeUdpSocket::parseNumericAddress(const QByteArray& text) {
    // Winsock's inet_addr differs from the classic rules in details (blanks,
    // trailing text), so the program's own parser keeps every system alike.
    const std::optional<quint32> address = parseInetAddress(text.constData());
    if (!address || *address == 0xFFFFFFFFu) {
        return std::nullopt;
    }
    return address;
}

bool NativeUdpSocket::isTolerated(int error) {
    return error == WSAEWOULDBLOCK || error == WSAEINTR || error == WSAECONNRESET ||
           error == WSAENETRESET;
}

QString NativeUdpSocket::errorText(int error) {
    return windowsErrorText(error);
}

UdpEndpoint::BindState NativeUdpSocket::bindStateFor(int error) {
    switch (error) {
        case 0:
            return UdpEndpoint::BindState::Bound;
        case WSAEADDRINUSE:
            return UdpEndpoint::BindState::PortTaken;
        case WSAEACCES:
            // Windows needs no right for any port: a refusal means another
            // socket holds the port exclusively, or the system reserves it.
            return UdpEndpoint::BindState::PortTaken;
        default:
            return UdpEndpoint::BindState::OtherFailure;
    }
}
