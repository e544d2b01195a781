// Renders the program's SVG icon sources to the PNG files the resources hold.
// Usage: icongen SIZE INPUT.svg OUTPUT.png
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: icongen SIZE INPUT.svg OUTPUT.png\n");
        return 2;
    }
    QGuiApplication app(argc, argv);
    const int size = QByteArray(argv[1]).toInt();
    QSvgRenderer renderer(QString::fromLocal8Bit(argv[2]));
    if (size <= 0 || !renderer.isValid()) {
        std::fprintf(stderr, "icongen: cannot render %s\n", argv[2]);
        return 1;
    }
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter);
    painter.end();
    return image.save(QString::fromLocal8Bit(argv[3]), "PNG") ? 0 : 1;
}
