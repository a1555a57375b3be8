#pragma once

#include <QByteArrayView>
#include <QString>
#include <QtGlobal>

// One datagram as an endpoint hands it to its owner, valid for the duration
// of the call that hands it over.
struct ReceivedDatagram {
    // The datagram's bytes, exactly as many as it had.
    QByteArrayView bytes;
    // The datagram's size in bytes, or -1 when the read failed (a datagram
    // too long for the endpoint, an error the system reported); bytes is
    // then empty.
    int size = -1;
    // The sender's address in dotted decimal ("10.0.0.7") and its port; for
    // a failed read, whatever the system said (often "0.0.0.0" and 0).
    QString fromIP;
    quint16 port = 0;
};
