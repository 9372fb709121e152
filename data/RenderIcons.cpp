// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the program's icon into a hicolor theme tree at build time, so that the installed
// icon is the very picture the windows show: OUTPUT_DIR/<N>x<N>/apps/<NAME>.png per size.
#include "ui/AppIcon.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <cstdio>

int main(int argc, char* argv[])
{
    // Painting a pixmap needs a platform; the offscreen one needs no display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = QGuiApplication::arguments();
    if (args.size() < 4) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIR NAME SIZE...\n", argv[0]);
        return 2;
    }
    const QString outputDir = args.at(1);
    const QString name = args.at(2);
    for (qsizetype i = 3; i < args.size(); ++i) {
        bool ok = false;
        const int size = args.at(i).toInt(&ok);
        if (!ok || size < 1 || size > 1024) {
            std::fprintf(stderr, "not an icon size: %s\n", qPrintable(args.at(i)));
            return 2;
        }
        const QString dir = QStringLiteral("%1/%2x%2/apps").arg(outputDir).arg(size);
        const QString file = QStringLiteral("%1/%2.png").arg(dir, name);
        const QImage image = kestrova::ui::appPixmap(size).toImage();
        // A device pixel ratio other than 1 would give a picture of another size than its
        // folder says.
        if (image.size() != QSize(size, size)) {
            std::fprintf(stderr, "the %dx%d icon came out %dx%d\n", size, size, image.width(),
                         image.height());
            return 1;
        }
        if (!QDir().mkpath(dir) || !image.save(file, "PNG")) {
            std::fprintf(stderr, "could not write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
