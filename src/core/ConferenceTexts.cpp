#include "core/ConferenceTexts.h"

#include "core/Protocol.h"

#include <QStringList>

using namespace Qt::StringLiterals;

namespace ConferenceTexts {

QString chatTooLong() {
    return u"Сообщение слишком длинное: вместе с именем оно должно уместиться в %1 знаков."_s.arg(
        Protocol::kMaxTextLength);
}

QString nameTooLong() {
    return u"Имя слишком длинное: не больше %1 знаков."_s.arg(Protocol::kMaxSelfNameLength);
}

QString entriesNotSent(int count) {
    return u"Не отправлено записей: %1 (не помещаются в одну датаграмму)."_s.arg(count);
}

QString incorrectCorrespondent() {
    return u"Error! Не корректный корреспондент"_s;
}

QString invalidHost() {
    return u"Error!  \"InvalidHost\""_s;
}

QString bufferInvalid() {
    return u"Error!  \"BufferInvalid\""_s;
}

QString linkCheckResult(const QString& fromIP, const QString& name) {
    // "ОК" is Cyrillic; two blanks follow its full stop.
    return u"Проверка связи -> ОК.  Имя корреспондента ("_s + fromIP + u") =\""_s + name + u"\""_s;
}

QString lostDatagrams(quint64 count) {
    return u"Потеряно датаграмм: "_s + QString::number(count);
}

QString notDelivered(const QStringList& names) {
    return u"Не доставлено: "_s + names.join(u", "_s);
}

QString notDeliveredInAll(int count) {
    return u"Получатели, не подтвердившие строку, с момента запуска: "_s + QString::number(count);
}

QString entriesRefused(const QString& fromIP, int count) {
    return u"Отклонено записей от %1: %2"_s.arg(fromIP).arg(count);
}

QString rosterLinesRefused(int count) {
    return u"Список участников полон, не принято: %1"_s.arg(count);
}

QString selfNameCleaned(const QString& cleaned) {
    return u"Имя содержит служебные слова сети и было бы принято за команду. "
           u"Оно изменено: "_s +
           cleaned;
}

QString sendFailures(const QList<SendFailure>& failures) {
    QStringList lines{u"Не удалось отправить по адресам:"_s};
    for (const SendFailure& failure : failures) {
        lines.append(failure.address + u" — "_s + failure.reason);
    }
    return lines.join(u'\n');
}

}  // namespace ConferenceTexts
