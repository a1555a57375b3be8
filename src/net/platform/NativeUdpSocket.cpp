#include "net/platform/NativeUdpSocket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>
#include <algorithm>
#include <array>
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
        // Never blocks: the send queue of a socket fills with datagrams to
        // neighbours that never answer, and a blocked send freezes the window.
        const ssize_t sent = ::sendto(handle_, data.data(), data.size(), MSG_DONTWAIT,
                                      reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
        if (sent >= 0) {
            return 0;
        }
        if (errno != EINTR) {
            return errno;
        }
    }
}

NativeUdpSocket::Batch NativeUdpSocket::receiveMany(std::span<char> area, size_t slotSize,
                                                    std::span<Datagram> out) {
    constexpr size_t kMaxSlots = 64;
    const size_t count = std::min({out.size(), area.size() / slotSize, kMaxSlots});
    std::array<mmsghdr, kMaxSlots> headers{};
    std::array<iovec, kMaxSlots> vectors{};
    std::array<sockaddr_in, kMaxSlots> senders{};
    // Room for the drop counter that SO_RXQ_OVFL adds to each read.
    constexpr size_t kControlSize = CMSG_SPACE(sizeof(quint32));
    alignas(cmsghdr) std::array<char, kMaxSlots * kControlSize> control{};
    for (size_t i = 0; i < count; ++i) {
        vectors[i] = {area.data() + i * slotSize, slotSize};
        msghdr& header = headers[i].msg_hdr;
        header.msg_name = &senders[i];
        header.msg_namelen = sizeof senders[i];
        header.msg_iov = &vectors[i];
        header.msg_iovlen = 1;
        header.msg_control = control.data() + i * kControlSize;
        header.msg_controllen = kControlSize;
    }

    Batch batch;
    int got = -1;
    do {
        got = ::recvmmsg(handle_, headers.data(), static_cast<unsigned>(count),
                         MSG_DONTWAIT | MSG_TRUNC, nullptr);
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        batch.error = errno;
        return batch;
    }
    for (int i = 0; i < got; ++i) {
        const msghdr& header = headers[static_cast<size_t>(i)].msg_hdr;
        const sockaddr_in& from = senders[static_cast<size_t>(i)];
        Datagram& slot = out[static_cast<size_t>(i)];
        slot = Datagram{};
        if (header.msg_namelen >= sizeof from && from.sin_family == AF_INET) {
            slot.address = ntohl(from.sin_addr.s_addr);
            slot.port = ntohs(from.sin_port);
        }
        // A datagram longer than its slot is discarded, never cut.
        if ((header.msg_flags & MSG_TRUNC) != 0) {
            slot.error = EMSGSIZE;
        } else {
            slot.size = static_cast<int>(headers[static_cast<size_t>(i)].msg_len);
        }
        for (const cmsghdr* c = CMSG_FIRSTHDR(&header); c != nullptr;
             c = CMSG_NXTHDR(const_cast<msghdr*>(&header), const_cast<cmsghdr*>(c))) {
            if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SO_RXQ_OVFL) {
                quint32 drops = 0;
                std::memcpy(&drops, CMSG_DATA(c), sizeof drops);
                batch.kernelDrops = drops;
            }
        }
    }
    batch.count = got;
    return batch;
}

int NativeUdpSocket::countKernelDrops() {
    const int on = 1;
    if (::setsockopt(handle_, SOL_SOCKET, SO_RXQ_OVFL, &on, sizeof on) != 0) {
        return errno;
    }
    return 0;
}

namespace {

// The privileged option passes the system's limit for a program allowed to
// administer the network; everyone else gets the plain one, capped there.
// Gives the size the system granted.
int growBuffer(int handle, int forcedOption, int option, int bytes) {
    if (::setsockopt(handle, SOL_SOCKET, forcedOption, &bytes, sizeof bytes) != 0) {
        (void)::setsockopt(handle, SOL_SOCKET, option, &bytes, sizeof bytes);
    }
    int granted = 0;
    socklen_t length = sizeof granted;
    if (::getsockopt(handle, SOL_SOCKET, option, &granted, &length) != 0) {
        return 0;
    }
    return granted;
}

}  // namespace

int NativeUdpSocket::growSendBuffer(int bytes) {
    return growBuffer(handle_, SO_SNDBUFFORCE, SO_SNDBUF, bytes);
}

int NativeUdpSocket::growReceiveBuffer(int bytes) {
    return growBuffer(handle_, SO_RCVBUFFORCE, SO_RCVBUF, bytes);
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
