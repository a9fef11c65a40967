// Renders one SVG icon to PNG files of given square sizes at build time:
//   render-icons SOURCE.svg OUT.png SIZE [OUT.png SIZE ...]
#include <QImage>
#include <QPainter>
#include <QString>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc < 4 || argc % 2) {
        std::fprintf(stderr, "usage: render-icons SOURCE.svg OUT.png SIZE [OUT.png SIZE ...]\n");
        return 2;
    }
    QSvgRenderer renderer(QString::fromLocal8Bit(argv[1]));
    if (!renderer.isValid()) {
        std::fprintf(stderr, "render-icons: cannot read %s\n", argv[1]);
        return 1;
    }
    for (int i = 2; i + 1 < argc; i += 2) {
        const int size = QString::fromLatin1(argv[i + 1]).toInt();
        if (size <= 0) {
            std::fprintf(stderr, "render-icons: bad size %s\n", argv[i + 1]);
            return 2;
        }
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter, QRectF(0, 0, size, size));
        painter.end();
        if (!image.save(QString::fromLocal8Bit(argv[i]), "PNG")) {
            std::fprintf(stderr, "render-icons: cannot write %s\n", argv[i]);
            return 1;
        }
    }
    return 0;
}
