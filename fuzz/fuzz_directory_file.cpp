// The directory file: what is read and written again reads back as the same
// lines and is written the same the second time; and a line with any content
// (CR, LF and NUL included) is read back as one line.

#include "FuzzFiles.h"
#include "core/DirectoryFile.h"
#include "text/Cp1251.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    FuzzFiles::initialize(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString path = FuzzFiles::path(u"ListCorr.dat");
    FuzzFiles::write(path, input);

    const DirectoryFile::Contents first = DirectoryFile::read(path);
    DirectoryFile::write(path, first.lines);
    const QByteArray once = FuzzFiles::read(path);
    const DirectoryFile::Contents second = DirectoryFile::read(path);
    if (!second.whole || second.lines != first.lines) {
        std::abort();
    }
    DirectoryFile::write(path, second.lines);
    if (FuzzFiles::read(path) != once) {
        std::abort();
    }

    DirectoryFile::write(path, {Cp1251::decode(input)});
    if (DirectoryFile::read(path).lines.size() != 1) {
        std::abort();
    }
    return 0;
}
