#include "net/BindFailureMessage.h"

using namespace Qt::StringLiterals;

QString bindFailureMessage(UdpEndpoint::BindState state, const QString& reason,
                           const QString& executablePath, int port) {
    const QString opening = u"Не удалось открыть UDP-порт %1: "_s.arg(port);
    const QString receivingOff = u"Приём сообщений отключён."_s;
    switch (state) {
        case UdpEndpoint::BindState::NoPermission:
            return opening + u"нет прав. "_s + receivingOff +
                   u" Дайте программе право на порт командой: "
                   u"sudo setcap cap_net_bind_service=+ep "_s +
                   executablePath;
        case UdpEndpoint::BindState::PortTaken:
            return opening + u"порт уже занят другой программой. "_s + receivingOff;
        case UdpEndpoint::BindState::OtherFailure:
            return opening + reason + u". "_s + receivingOff;
        case UdpEndpoint::BindState::NotBound:
        case UdpEndpoint::BindState::Bound:
            break;
    }
    return {};
}
