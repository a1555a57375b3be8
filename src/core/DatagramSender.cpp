#include "core/DatagramSender.h"

#include "net/UdpEndpoint.h"
#include "text/Cp1251.h"
#include "text/Exception.h"

#include <QByteArray>

#include <algorithm>

using namespace Qt::StringLiterals;

DatagramSender::DatagramSender(UdpEndpoint& endpoint) : endpoint_(endpoint) {}

void DatagramSender::send(const QString& address, const QString& text) {
    if (!Protocol::fits(text)) {
        throw Exception(
            u"Датаграмма длиннее %1 знаков не отправляется."_s.arg(Protocol::kMaxTextLength));
    }
    endpoint_.setRemoteHost(address);
    const QByteArray bytes = Cp1251::encode(text);
    std::copy(bytes.begin(), bytes.end(), buffer_.begin());
    buffer_.at(static_cast<std::size_t>(bytes.size())) = '\0';
    endpoint_.sendDatagram(buffer_, static_cast<int>(bytes.size()));
}
