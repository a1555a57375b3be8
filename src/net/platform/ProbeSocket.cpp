#include "net/platform/ProbeSocket.h"

#include "text/Exception.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

using namespace Qt::StringLiterals;

namespace {

QString errorText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

}  // namespace

ProbeSender::~ProbeSender() = default;

ProbeSocket::ProbeSocket(quint16 port) : port_(port) {
    handle_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (handle_ < 0) {
        throw Exception(u"Не удалось открыть сокет для поиска : "_s + errorText(errno));
    }
    // A larger send queue lets more requests wait for address resolution at
    // once; the system caps the size, and a refusal only leaves the default.
    int size = 1 << 20;
    (void)::setsockopt(handle_, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
}

ProbeSocket::~ProbeSocket() {
    if (handle_ >= 0) {
        ::close(handle_);
    }
}

ProbeSender::Result ProbeSocket::send(quint32 address, const QByteArray& datagram) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port_);
    to.sin_addr.s_addr = htonl(address);
    for (;;) {
        const ssize_t sent =
            ::sendto(handle_, datagram.constData(), static_cast<size_t>(datagram.size()), 0,
                     reinterpret_cast<const sockaddr*>(&to), sizeof to);
        if (sent >= 0) {
            return Result::Sent;
        }
        const int error = errno;
        if (error == EINTR) {
            continue;
        }
        if (error == EAGAIN || error == EWOULDBLOCK || error == ENOBUFS) {
            return Result::Busy;
        }
        return Result::Failed;
    }
}
