#ifndef TESTPHOTOS_H
#define TESTPHOTOS_H

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <exiv2/exiv2.hpp>

// A picture saved as `kind` (jpg, png, tif, webp; "raw" is a JPEG named .CR2; "damaged" a
// JPEG cut short), then the Exif `tags` (exiv2's key=value) set with exiv2 (PNG and WebP:
// ExifTool, by the key's last part).
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
    if (kind == "png" || kind == "webp") {
        // As cameras and editors write them (ExifTool), where exiv2 0.27 writes its own way.
        QStringList args{"-q", "-overwrite_original", "-EXIF:Make=Test camera"};
        for (const QString &tag : tags)
            args << "-EXIF:" + tag.section('=', 0, 0).section('.', -1) + "=" + tag.section('=', 1);
        if (QProcess::execute("exiftool", args << file) != 0)
            return QString();
    } else {
        auto photo = Exiv2::ImageFactory::open(file.toStdString());
        photo->readMetadata();
        Exiv2::ExifData exif = photo->exifData();
        exif["Exif.Image.Make"] = "Test camera"; // a tag that must stay as it is
        for (const QString &tag : tags)
            exif[tag.section('=', 0, 0).toStdString()] = tag.section('=', 1).toStdString();
        photo->setExifData(exif);
        photo->writeMetadata();
    }
    if (kind == "damaged") {
        QFile f(file);
        f.open(QIODevice::ReadWrite);
        f.resize(f.size() / 3);
    }
    return file;
}

#endif // TESTPHOTOS_H
