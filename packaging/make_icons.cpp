// Writes the program's icon into an icon-theme tree:
//   <folder>/scalable/apps/<name>.svg and <folder>/<N>x<N>/apps/<name>.png
// drawn by the same code as the window icon. Usage: make_icons <folder> <name>

#include "app/widgets/Glyphs.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>

#include <cstdio>

using namespace Qt::StringLiterals;

int main(int argc, char* argv[]) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_icons <folder> <name>\n");
        return 2;
    }
    // Pixmaps need a GUI application; no display is needed to draw them.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString folder = QFile::decodeName(argv[1]);
    const QString name = QFile::decodeName(argv[2]);

    const QString svgFolder = folder + u"/scalable/apps"_s;
    QFile svg(svgFolder + u'/' + name + u".svg"_s);
    if (!QDir().mkpath(svgFolder) || !svg.open(QIODevice::WriteOnly) ||
        svg.write(programPictureSvg().toUtf8()) < 0 || !svg.flush()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(svg.fileName()));
        return 1;
    }
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString sizeFolder = folder + u"/%1x%1/apps"_s.arg(size);
        const QString file = sizeFolder + u'/' + name + u".png"_s;
        if (!QDir().mkpath(sizeFolder) || !programPicture(size).save(file, "PNG")) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
