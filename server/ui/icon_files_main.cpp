// Writes the program's icon as PNG files for the desktop's icon theme:
//   tovan_icon_files FOLDER
// makes FOLDER/<size>x<size>/apps/tovan.png for each size the theme looks
// in. Runs on Qt's offscreen platform, so the build needs no display.
#include <QDir>
#include <QGuiApplication>
#include <QPixmap>
#include <cstdio>
#include <cstdlib>

#include "server/ui/app_icon.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: tovan_icon_files FOLDER\n");
        return 2;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QGuiApplication app(argc, argv);
    const QString root = QString::fromLocal8Bit(argv[1]);
    for (int size : {16, 32, 48, 64, 128, 256}) {
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(root).arg(size);
        if (!QDir().mkpath(folder) || !AppIconPixmap(size).save(folder + QStringLiteral("/tovan.png"), "PNG")) {
            std::fprintf(stderr, "tovan_icon_files: cannot write the %dx%d icon under %s\n", size, size, argv[1]);
            return 1;
        }
    }
    return 0;
}
