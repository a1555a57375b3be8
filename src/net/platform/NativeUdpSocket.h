#pragma once

#include "net/UdpEndpoint.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <optional>
#include <span>

// One IPv4 datagram socket and the few system calls the endpoint makes on it.
// Every socket call of the endpoint lives behind this header: Linux in
// NativeUdpSocket.cpp, Windows (Winsock 2) in windows/NativeUdpSocket.cpp.
// Error codes are the system's own: errno values on Linux, WSA codes on
// Windows.
//
// Addresses are IPv4 addresses in host byte order (127.0.0.1 is 0x7F000001),
// ports are in host byte order. Functions that can fail give 0 or the
// system's error code, read right after the failing call.
class NativeUdpSocket {
  public:
    // What one receive gave.
    struct Datagram {
        // The datagram's real size; -1 when the read failed or the datagram
        // did not fit the area (it is discarded then, never cut).
        int size = -1;
        // The sender; 0 and 0 when the system did not say.
        quint32 address = 0;
        quint16 port = 0;
        // 0, or the system's error code of a failed read.
        int error = 0;
    };

    NativeUdpSocket() = default;
    ~NativeUdpSocket();
    NativeUdpSocket(const NativeUdpSocket&) = delete;
    NativeUdpSocket& operator=(const NativeUdpSocket&) = delete;

    // Creates the socket (closing one that is open). Neither sends nor
    // receives block: a datagram the send queue has no room for is dropped,
    // as the network may drop any datagram (see growSendBuffer).
    [[nodiscard]] int open();
    void close();
    [[nodiscard]] bool isOpen() const { return handle_ >= 0; }
    // The descriptor to watch for readability.
    [[nodiscard]] qintptr handle() const { return handle_; }

    // Binds to every local address at the port, exclusively: a port that
    // another socket holds is an error, never shared.
    [[nodiscard]] int bindAny(quint16 port);
    // The bound local port; 0 when the socket has none.
    [[nodiscard]] quint16 localPort() const;

    // Sends data as one datagram.
    [[nodiscard]] int sendTo(std::span<const char> data, quint32 address, quint16 port);

    // Reads up to out.size() waiting datagrams in one call, datagram i into
    // area[i * slotSize, (i + 1) * slotSize). Gives how many were read (0 when
    // none waited or the read failed; error says which: a tolerated code, see
    // isTolerated, when none waited). kernelDrops is set
    // to the system's count of datagrams it dropped for want of buffer room,
    // when the system reports it (see countKernelDrops; Windows never does).
    struct Batch {
        int count = 0;
        int error = 0;
        std::optional<quint32> kernelDrops;
    };
    [[nodiscard]] Batch receiveMany(std::span<char> area, size_t slotSize, std::span<Datagram> out);

    // Asks the system to report with every read how many datagrams it dropped
    // on this socket because its receive buffer was full.
    [[nodiscard]] int countKernelDrops();
    // Asks for a receive buffer of about this many bytes, beyond the usual
    // limit where the program may (a privileged program), else as far as
    // the system allows. Gives the size the system granted.
    int growReceiveBuffer(int bytes);
    // The same for the send queue. Datagrams to a neighbour that does not
    // answer the address resolution wait in it for seconds; a queue larger
    // than the system's wait list for one neighbour cannot be filled by them,
    // so a directory of absent hosts costs nothing to the hosts that answer.
    int growSendBuffer(int bytes);

    // The text as a numeric IPv4 address by the rules of inet_addr: one to
    // four parts, each decimal, octal (leading 0) or hexadecimal (0x); the
    // text ends at its first NUL. Nothing for a text that is not such an
    // address, and for 255.255.255.255, whose value means "no address".
    [[nodiscard]] static std::optional<quint32> parseNumericAddress(const QByteArray& text);

    // Errors that only mean "not now": would block, or interrupted.
    [[nodiscard]] static bool isTolerated(int error);
    // The system's words for an error code.
    [[nodiscard]] static QString errorText(int error);
    // How a failed bind is reported to the user.
    [[nodiscard]] static UdpEndpoint::BindState bindStateFor(int error);

  private:
    qintptr handle_ = -1;
};
