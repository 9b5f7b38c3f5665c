// nuvokrc-assets: writes the files installed beside the program from the
// program's own code, so that the theme icon is the window's icon and the
// manual's key map can be checked against the usage card.
//   nuvokrc-assets icon FILE.png   the 64x64 idle icon
//   nuvokrc-assets usage           the usage card, one line per card line

#include "app/cardtext.h"
#include "app/icons.h"

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <cstdio>
#include <cstring>

namespace {

constexpr int kIconSize = 64;

int writeIcon(int argc, char* argv[], const char* file) {
    // Rendering needs no display; the build must never touch the user's one.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QImage image = icons::idle().pixmap(kIconSize, kIconSize).toImage();
    if (image.width() != kIconSize || image.height() != kIconSize) {
        std::fprintf(stderr, "nuvokrc-assets: the icon came out %dx%d instead of %dx%d\n",
                     image.width(), image.height(), kIconSize, kIconSize);
        return 1;
    }
    if (!image.save(QString::fromLocal8Bit(file), "PNG")) {
        std::fprintf(stderr, "nuvokrc-assets: could not write %s\n", file);
        return 1;
    }
    return 0;
}

int printUsage() {
    QString text = cardText::usage();
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    std::fputs(text.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
    return 0;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc == 3 && std::strcmp(argv[1], "icon") == 0)
        return writeIcon(argc, argv, argv[2]);
    if (argc == 2 && std::strcmp(argv[1], "usage") == 0)
        return printUsage();
    std::fputs("Usage: nuvokrc-assets icon FILE.png | nuvokrc-assets usage\n", stderr);
    return 2;
}
