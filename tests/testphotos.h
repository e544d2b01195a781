#ifndef TESTPHOTOS_H
#define TESTPHOTOS_H

#include <QFile>
#include <QImage>
#include <QString>
#include <QStringList>

#include <exiv2/exiv2.hpp>

// A picture saved as `kind` (jpg, png, tif, webp; "raw" is a JPEG named .CR2; "damaged" a
// JPEG cut short), then the Exif `tags` (key=value) set with exiv2.
inline QString makePhoto(const QString &dir, const QString &kind, const QStringList &tags,
                         const QString &name = QStringLiteral("photo"))
{
    const QString suffix = kind == "raw" ? "CR2" : kind == "damaged" ? "jpg" : kind;
    const QString file = dir + "/" + name + "." + suffix;
    QImage image(64, 48, QImage::Format_RGB32);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x)
            image.setPixel(x, y, qRgb(x * 4, y * 5, 128));
    const char *format = kind == "raw" || kind == "damaged" ? "JPEG" : nullptr;
    if (!image.save(file, format, 100))
        return QString();
    auto photo = Exiv2::ImageFactory::open(file.toStdString());
    photo->readMetadata();
    Exiv2::ExifData exif = photo->exifData();
    exif["Exif.Image.Make"] = "Test camera"; // a tag that must stay as it is
    for (const QString &tag : tags)
        exif[tag.section('=', 0, 0).toStdString()] = tag.section('=', 1).toStdString();
    photo->setExifData(exif);
    photo->writeMetadata();
    if (kind == "damaged") {
        QFile f(file);
        f.open(QIODevice::ReadWrite);
        f.resize(f.size() / 3);
    }
    return file;
}

#endif // TESTPHOTOS_H
