#include "core/Reachability.h"

using namespace Qt::StringLiterals;

Reachability::Record& Reachability::record(const QString& address) {
    if (Record* found = table_.object(address)) {
        return *found;
    }
    auto* fresh = new Record;
    table_.insert(address, fresh);
    return *fresh;
}

void Reachability::heard(const QString& address, const QDateTime& when) {
    record(address).lastHeard = when;
}

void Reachability::requestSent(const QString& address, qint64 nowMs) {
    record(address).requestAtMs = nowMs;
}

bool Reachability::answerReceived(const QString& address, qint64 nowMs) {
    Record& r = record(address);
    if (r.requestAtMs >= 0 && nowMs - r.requestAtMs <= kAnswerWithinMs) {
        r.roundTripMs = nowMs - r.requestAtMs;
        r.requestAtMs = -1;
        return true;
    }
    return false;
}

QDateTime Reachability::lastHeard(const QString& address) const {
    const Record* r = table_.object(address);
    return r ? r->lastHeard : QDateTime();
}

qint64 Reachability::roundTripMs(const QString& address) const {
    const Record* r = table_.object(address);
    return r ? r->roundTripMs : -1;
}

QString Reachability::describe(const QString& address) const {
    const QDateTime when = lastHeard(address);
    QString text = when.isValid() ? u"Последний ответ: "_s +
                                        when.toLocalTime().toString(u"dd.MM.yyyy HH:mm:ss"_s)
                                  : u"Ответов не было с момента запуска"_s;
    const qint64 trip = roundTripMs(address);
    if (trip >= 0) {
        text += u"\nПроверка связи: %1 мс"_s.arg(trip);
    }
    return text;
}
