#include "text/Exception.h"

Exception::Exception(QString message)
    : message_(std::move(message)), utf8_(message_.toStdString()) {}

const char* Exception::what() const noexcept {
    return utf8_.c_str();
}
