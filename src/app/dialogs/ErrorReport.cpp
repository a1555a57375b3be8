#include "app/dialogs/ErrorReport.h"

#include "app/dialogs/MessageBoxes.h"
#include "app/widgets/ApplicationTitle.h"

#include "text/Cp1251.h"
#include "text/Exception.h"

#include <QStringList>

#include <cstdio>

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

namespace {

ErrorReporter& installedReporter() {
    static ErrorReporter reporter;
    return reporter;
}

}  // namespace

void setErrorReporter(ErrorReporter reporter) {
    installedReporter() = std::move(reporter);
}

void reportErrorMessage(const QString& message) {
    if (const ErrorReporter& reporter = installedReporter()) {
        reporter(message);
    } else {
        showErrorBox(kApplicationTitle, errorReportText(message));
    }
}

void writeErrorLine(const QString& text) {
    QString line;
    for (const QString& part : QString(text).replace(u"\r\n"_s, u"\n"_s).split(u'\n')) {
        if (!line.isEmpty()) {
            line += line.endsWith(u':') ? u" "_s : u"; "_s;
        }
        line += part;
    }
    std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
}
