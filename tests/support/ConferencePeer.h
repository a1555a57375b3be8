#pragma once

#include "core/Conference.h"
#include "support/FakeEndpoint.h"
#include "support/FakeNetwork.h"
#include "text/Cp1251.h"
#include "text/Exception.h"

#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QStringList>
#include <memory>

// One copy of the program on the fake network: an endpoint with its own
// address and a conference wired to it the way the main window wires them,
// with everything the window would show recorded for assertions. It binds
// the handshake port too unless told not to (a firewall that blocks it, or
// a port another program holds).
struct ConferencePeer {
    ConferencePeer(FakeNetwork& network, const QString& address, const QString& selfName,
                   const QStringList& directoryLines = {}, bool handshakePort = true)
        : endpoint(network, address), conference(endpoint) {
        if (handshakePort) {
            handshakeEndpoint =
                std::make_unique<FakeEndpoint>(network, address, Protocol::kHandshakePort);
            handshakeEndpoint->receiveHandler = [this](const ReceivedDatagram& datagram) {
                conference.dispatchHandshake(datagram);
            };
            conference.setHandshakeEndpoint(handshakeEndpoint.get());
        }
        conference.setSelfName(selfName);
        conference.directory().setLines(directoryLines);
        endpoint.receiveHandler = [this](const ReceivedDatagram& datagram) {
            // Errors must not cross the event loop; the window's application
            // object reports them, here they are kept.
            try {
                conference.dispatch(datagram);
            } catch (const Exception& error) {
                errors.append(error.message());
            }
        };
        QObject::connect(&conference, &Conference::chatLineReceived,
                         [this](const QString& line) { log.append(line); });
        QObject::connect(&conference, &Conference::correspondentAdded,
                         [this](const QString& name) { added.append(name); });
        QObject::connect(&conference, &Conference::linkCheckAnswered,
                         [this](const QString& fromIP, const QString& name) {
                             answers.append({fromIP, name});
                         });
    }

    // The commands with the recipient choice as the window reads it: an
    // index above 0 is "Выборочно", anything else "Всем".
    [[nodiscard]] Recipients recipients() const {
        return choice > 0 ? Recipients::Selected : Recipients::Everyone;
    }
    ChatOutcome sendChat(const QString& message) {
        return conference.sendChat(message, recipients());
    }
    SharingOutcome shareDirectory() { return conference.shareDirectory(recipients()); }
    SharingOutcome shareSelectedEntry() { return conference.shareSelectedEntry(recipients()); }

    [[nodiscard]] QStringList directory() { return conference.directory().lines(); }
    [[nodiscard]] QStringList roster() { return conference.roster().lines(); }
    [[nodiscard]] const QString& address() const { return endpoint.address(); }

    FakeEndpoint endpoint;
    Conference conference;
    std::unique_ptr<FakeEndpoint> handshakeEndpoint;
    int choice = 0;  // the recipient choice: 0 "Всем", 1 "Выборочно"
    QStringList log;
    QStringList added;
    QList<QPair<QString, QString>> answers;
    QStringList errors;
};

// A datagram of the network's log as "from>to text", decoded, for readable
// comparisons of content and order; "from>to:334 text" on the handshake port.
inline QString describe(const FakeDatagram& datagram) {
    const QString port =
        datagram.port == Protocol::kPort ? QString() : u':' + QString::number(datagram.port);
    return datagram.from + u'>' + datagram.to + port + u' ' + Cp1251::decode(datagram.bytes);
}

inline QStringList describeLog(const FakeNetwork& network) {
    QStringList lines;
    for (const FakeDatagram& datagram : network.log()) {
        lines.append(describe(datagram));
    }
    return lines;
}

// The log as an older copy reads it: only the conference port (an older
// copy binds no other), each chat datagram cut at its first NUL (an older
// copy reads no further). What the tests of the older protocol compare, so
// that they hold whichever copies take part.
inline QList<FakeDatagram> visibleLog(const FakeNetwork& network) {
    QList<FakeDatagram> visible;
    for (const FakeDatagram& datagram : network.log()) {
        if (datagram.port != Protocol::kPort) {
            continue;
        }
        const int size = static_cast<int>(datagram.bytes.size());
        const auto control =
            DatagramParser::controlText(DatagramParser::receivedText(datagram.bytes, size));
        FakeDatagram cut = datagram;
        if (const qsizetype nul = cut.bytes.indexOf('\0'); nul >= 0 && !control) {
            cut.bytes.truncate(nul);
        }
        visible.append(cut);
    }
    return visible;
}

inline QStringList describeVisibleLog(const FakeNetwork& network) {
    QStringList lines;
    for (const FakeDatagram& datagram : visibleLog(network)) {
        lines.append(describe(datagram));
    }
    return lines;
}
