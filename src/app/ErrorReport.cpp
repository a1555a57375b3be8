#include "app/ErrorReport.h"

#include "text/Cp1251.h"
#include "text/Exception.h"

#include <QMessageBox>
#include <QPushButton>

using namespace Qt::StringLiterals;

QString errorReportText(const QString& message) {
    if (message.isEmpty()) {
        return message;
    }
    const auto last = static_cast<unsigned char>(Cp1251::toByte(message.back()));
    return last > static_cast<unsigned char>('.') ? message + u'.' : message;
}

QString exceptionMessage(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const Exception& e) {
        return e.message();
    } catch (const std::exception& e) {
        return QString::fromLocal8Bit(e.what());
    } catch (...) {
        return u"Неизвестная ошибка"_s;
    }
}

void showErrorBox(const QString& title, const QString& text) {
    QMessageBox box(QMessageBox::Critical, title, text, QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    box.button(QMessageBox::Ok)->setText(u"OK"_s);  // the same in every locale
    box.exec();
}
