#pragma once

#include <QString>

#include <exception>
#include <string>

// The program's general error: an exception that carries only a message text.
// Handlers let it escape; the application shows it in the standard error report.
class Exception : public std::exception {
  public:
    explicit Exception(QString message);

    [[nodiscard]] const QString& message() const noexcept { return message_; }
    [[nodiscard]] const char* what() const noexcept override;

  private:
    QString message_;
    std::string utf8_;
};
