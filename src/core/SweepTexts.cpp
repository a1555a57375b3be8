#include "core/SweepTexts.h"

#include "core/DiscoverySweep.h"
#include "core/SweepRanges.h"

using namespace Qt::StringLiterals;

namespace SweepTexts {

QString command() {
    return u"Найти в сети ..."_s;
}

QString dialogTitle() {
    return u"Найти в сети"_s;
}

QString dialogPrompt() {
    return u"Кого опросить : по одному диапазону адресов в строке,\n"
           u"например 10.0.5.0/24 или 10.0.5.1-10.0.5.200"_s;
}

QString startButton() {
    return u"Начать"_s;
}

QString cancelButton() {
    return u"Отмена"_s;
}

QString malformedLine(int lineNumber, const QString& line) {
    return u"Error! Не корректный диапазон в строке %1 : \"%2\""_s.arg(lineNumber).arg(line);
}

QString tooManyAddresses(qint64 covered) {
    return u"Слишком много адресов : %1. За один раз можно опросить не более %2."_s.arg(covered)
        .arg(SweepRanges::kMaxAddresses);
}

QString nothingToAsk() {
    return u"Некого опрашивать : в диапазонах нет ни одного чужого адреса."_s;
}

QString confirmMany(int count) {
    return u"Будет опрошено адресов : %1. Начать ?"_s.arg(count);
}

QString progress(const SweepProgress& progress, bool waiting) {
    QString text = u"Поиск : опрошено %1 из %2, ответили %3"_s.arg(progress.asked)
                       .arg(progress.total)
                       .arg(progress.answered);
    if (waiting) {
        text += u". Ждём поздние ответы ..."_s;
    }
    return text;
}

QString summary(const SweepProgress& progress, bool cancelled) {
    QString text = cancelled ? u"Поиск прерван"_s : u"Поиск закончен"_s;
    text +=
        u" : ответили %1, из них новых в списке %2."_s.arg(progress.answered).arg(progress.added);
    if (progress.failed > 0) {
        text += u" Не отправлено запросов : %1."_s.arg(progress.failed);
    }
    return text;
}

QString stopButton() {
    return u"Прервать"_s;
}

QString hideButton() {
    return u"Скрыть"_s;
}

}  // namespace SweepTexts
