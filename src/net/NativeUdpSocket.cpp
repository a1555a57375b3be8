#include "net/NativeUdpSocket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace {

sockaddr_in socketAddress(quint32 address, quint16 port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = htonl(address);
    return sa;
}

}  // namespace

NativeUdpSocket::~NativeUdpSocket() {
    close();
}

int NativeUdpSocket::open() {
    close();
    // No SO_REUSEADDR: the port is held exclusively.
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return errno;
    }
    handle_ = fd;
    return 0;
}

void NativeUdpSocket::close() {
    if (handle_ >= 0) {
        ::close(handle_);
        handle_ = -1;
    }
}

int NativeUdpSocket::bindAny(quint16 port) {
    const sockaddr_in sa = socketAddress(INADDR_ANY, port);
    if (::bind(handle_, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
        return errno;
    }
    return 0;
}

quint16 NativeUdpSocket::localPort() const {
    sockaddr_in sa{};
    socklen_t length = sizeof sa;
    if (handle_ < 0 || ::getsockname(handle_, reinterpret_cast<sockaddr*>(&sa), &length) != 0) {
        return 0;
    }
    return ntohs(sa.sin_port);
}

int NativeUdpSocket::sendTo(std::span<const char> data, quint32 address, quint16 port) {
    const sockaddr_in sa = socketAddress(address, port);
    for (;;) {
        const ssize_t sent = ::sendto(handle_, data.data(), data.size(), 0,
                                      reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
        if (sent >= 0) {
            return 0;
        }
        if (errno != EINTR) {
            return errno;
        }
    }
}

NativeUdpSocket::Datagram NativeUdpSocket::receive(std::span<char> area) {
    Datagram result;
    sockaddr_in from{};
    for (;;) {
        socklen_t fromLength = sizeof from;
        // MSG_TRUNC makes the call give the datagram's real size even when it
        // is longer than the area, so an oversized datagram is recognised
        // instead of being silently cut.
        const ssize_t size = ::recvfrom(handle_, area.data(), area.size(), MSG_TRUNC | MSG_DONTWAIT,
                                        reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (size < 0 && errno == EINTR) {
            continue;
        }
        if (size < 0) {
            result.error = errno;
            return result;
        }
        if (fromLength >= sizeof from && from.sin_family == AF_INET) {
            result.address = ntohl(from.sin_addr.s_addr);
            result.port = ntohs(from.sin_port);
        }
        if (static_cast<size_t>(size) > area.size()) {
            result.error = EMSGSIZE;
            return result;
        }
        result.size = static_cast<int>(size);
        return result;
    }
}

std::optional<quint32> NativeUdpSocket::parseNumericAddress(const QByteArray& text) {
    const in_addr_t value = ::inet_addr(text.constData());
    if (value == INADDR_NONE) {
        return std::nullopt;
    }
    return ntohl(value);
}

bool NativeUdpSocket::isTolerated(int error) {
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}

QString NativeUdpSocket::errorText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

UdpEndpoint::BindState NativeUdpSocket::bindStateFor(int error) {
    switch (error) {
        case 0:
            return UdpEndpoint::BindState::Bound;
        case EACCES:
        case EPERM:
            return UdpEndpoint::BindState::NoPermission;
        case EADDRINUSE:
            return UdpEndpoint::BindState::PortTaken;
        default:
            return UdpEndpoint::BindState::OtherFailure;
    }
}
