// Bytes -> text -> bytes is the identity on every byte but NUL.

#include "text/Cp1251.h"

#include <QByteArray>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    bytes.replace('\0', '\x01');
    const QString text = Cp1251::decode(bytes);
    if (text.size() != bytes.size() || Cp1251::encode(text) != bytes) {
        std::abort();
    }
    return 0;
}
