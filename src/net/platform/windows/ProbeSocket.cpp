#include "net/platform/ProbeSocket.h"

#include "net/platform/windows/Winsock.h"
#include "text/Exception.h"

// winsock2.h must come before windows.h, which would bring the old Winsock.
#include <winsock2.h>

#include <windows.h>
#include <ws2tcpip.h>

using namespace Qt::StringLiterals;

namespace {

SOCKET socketOf(qintptr handle) {
    return static_cast<SOCKET>(handle);
}

}  // namespace

ProbeSender::~ProbeSender() = default;

ProbeSocket::ProbeSocket(quint16 port) : port_(port) {
    int error = startWinsock();
    SOCKET socket = INVALID_SOCKET;
    if (error == 0) {
        socket =
            ::WSASocketW(AF_INET, SOCK_DGRAM, IPPROTO_UDP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
        error = socket == INVALID_SOCKET ? ::WSAGetLastError() : 0;
    }
    u_long nonBlocking = 1;
    if (error == 0 && ::ioctlsocket(socket, FIONBIO, &nonBlocking) != 0) {
        error = ::WSAGetLastError();
        ::closesocket(socket);
    }
    if (error != 0) {
        throw Exception(u"Не удалось открыть сокет для поиска : "_s + windowsErrorText(error));
    }
    handle_ = static_cast<qintptr>(socket);
    // A larger send queue lets more requests wait for address resolution at
    // once; a refusal only leaves the default.
    const int size = 1 << 20;
    (void)::setsockopt(socket, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&size),
                       sizeof size);
}

ProbeSocket::~ProbeSocket() {
    if (handle_ >= 0) {
        ::closesocket(socketOf(handle_));
    }
}

ProbeSender::Result ProbeSocket::send(quint32 address, const QByteArray& datagram) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port_);
    to.sin_addr.s_addr = htonl(address);
    const int sent =
        ::sendto(socketOf(handle_), datagram.constData(), static_cast<int>(datagram.size()), 0,
                 reinterpret_cast<const sockaddr*>(&to), sizeof to);
    if (sent != SOCKET_ERROR) {
        return Result::Sent;
    }
    const int error = ::WSAGetLastError();
    if (error == WSAEWOULDBLOCK || error == WSAENOBUFS || error == WSAEINTR) {
        return Result::Busy;
    }
    return Result::Failed;
}
