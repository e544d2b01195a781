#include "geotag/photometa.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <exiv2/exiv2.hpp>
#include <exiv2/webpimage.hpp>

#include <cmath>
#include <mutex>

namespace PhotoMeta {

namespace {
// Photos bigger than this are not photos the program tags (and exiv2 takes a long size).
constexpr qint64 MaxPhotoBytes = qint64(1) << 30;

const char *const RawSuffixes[] = {"3fr", "ari", "arw", "bay", "cr2", "cr3", "crw", "dcr",
                                   "dng", "erf", "fff", "iiq", "k25", "kdc", "mef", "mos",
                                   "mrw", "nef", "nrw", "orf", "pef", "raf", "raw", "rw2",
                                   "rwl", "sr2", "srf", "srw", "x3f"};
const char *const ImageSuffixes[] = {"jpg", "jpeg", "jpe",  "tif",  "tiff",
                                     "png", "webp", "heic", "heif", "avif"};

template <size_t N> bool among(const char *const (&list)[N], const QString &suffix)
{
    for (const char *s : list)
        if (suffix.compare(QLatin1String(s), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

void initialise()
{
    // exiv2's XMP toolkit must be set up once before any thread uses it; its warnings go
    // nowhere, its errors come back as exceptions with the reason.
    static std::once_flag once;
    std::call_once(once, [] {
        Exiv2::XmpParser::initialize();
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
    });
}

QString reason(const std::exception &e)
{
    const QString text = QString::fromLocal8Bit(e.what()).trimmed();
    return text.isEmpty() ? QStringLiteral("exiv2 cannot read it") : text;
}

std::string valueOf(const Exiv2::ExifData &exif, const char *key)
{
    const auto it = exif.findKey(Exiv2::ExifKey(key));
    return it == exif.end() ? std::string() : it->toString();
}

// "2009:04:11 08:15:00" as milliseconds since 1970 taken as UTC; 0 when it is no date.
qint64 clockOf(const std::string &text)
{
    const QString s = QString::fromLatin1(text.c_str()).left(19);
    QDateTime t = QDateTime::fromString(s, QStringLiteral("yyyy:MM:dd HH:mm:ss"));
    if (!t.isValid())
        return 0;
    t.setTimeSpec(Qt::UTC);
    const qint64 ms = t.toMSecsSinceEpoch();
    return ms > 0 ? ms : 0;
}

// SubSecTime: the digits of the fraction ("5" is half a second).
int millisOf(const std::string &text)
{
    int ms = 0, scale = 100;
    for (char c : text) {
        if (c < '0' || c > '9')
            break;
        ms += scale * (c - '0');
        scale /= 10;
    }
    return ms;
}

// OffsetTimeOriginal: "+02:00", "-05:30".
bool zoneOf(const std::string &text, int *seconds)
{
    const QString s = QString::fromLatin1(text.c_str()).trimmed();
    if (s.size() != 6 || (s[0] != QLatin1Char('+') && s[0] != QLatin1Char('-')) ||
        s[3] != QLatin1Char(':'))
        return false;
    bool okH = false, okM = false;
    const int h = s.mid(1, 2).toInt(&okH), m = s.mid(4, 2).toInt(&okM);
    if (!okH || !okM || h > 14 || m > 59)
        return false;
    *seconds = (s[0] == QLatin1Char('-') ? -1 : 1) * (h * 3600 + m * 60);
    return true;
}

void readDate(const Exiv2::ExifData &exif, Photo *p)
{
    static const char *const keys[][3] = {
        {"Exif.Photo.DateTimeOriginal", "Exif.Photo.SubSecTimeOriginal",
         "Exif.Photo.OffsetTimeOriginal"},
        {"Exif.Photo.DateTimeDigitized", "Exif.Photo.SubSecTimeDigitized",
         "Exif.Photo.OffsetTimeDigitized"},
        {"Exif.Image.DateTime", "Exif.Photo.SubSecTime", "Exif.Photo.OffsetTime"}};
    for (const auto &k : keys) {
        const qint64 clock = clockOf(valueOf(exif, k[0]));
        if (clock == 0)
            continue;
        p->clockMs = clock + millisOf(valueOf(exif, k[1]));
        p->hasZone = zoneOf(valueOf(exif, k[2]), &p->zoneS);
        return;
    }
}

double degreesOf(const Exiv2::Exifdatum &d)
{
    double v = 0, scale = 1;
    for (long i = 0; i < std::min(3L, long(d.count())); ++i, scale *= 60)
        v += double(d.toFloat(i)) / scale;
    return v;
}

bool positionOf(const Exiv2::ExifData &exif, double *lat, double *lon)
{
    const auto la = exif.findKey(Exiv2::ExifKey("Exif.GPSInfo.GPSLatitude"));
    const auto lo = exif.findKey(Exiv2::ExifKey("Exif.GPSInfo.GPSLongitude"));
    if (la == exif.end() || lo == exif.end() || la->count() == 0 || lo->count() == 0)
        return false;
    *lat = degreesOf(*la) * (valueOf(exif, "Exif.GPSInfo.GPSLatitudeRef") == "S" ? -1 : 1);
    *lon = degreesOf(*lo) * (valueOf(exif, "Exif.GPSInfo.GPSLongitudeRef") == "W" ? -1 : 1);
    return std::isfinite(*lat) && std::isfinite(*lon);
}

// The metadata of a file or sidecar, through exiv2 on the file's bytes (mapped, not read):
// the same on every platform, whatever characters the path holds.
class Opened
{
public:
    bool open(const QString &file, QString *error)
    {
        f.setFileName(file);
        if (!f.open(QIODevice::ReadOnly)) {
            *error = f.errorString();
            return false;
        }
        const qint64 size = f.size();
        if (size <= 0 || size > MaxPhotoBytes) {
            *error = size <= 0 ? QStringLiteral("the file is empty")
                               : QStringLiteral("the file is larger than 1 GB");
            return false;
        }
        const uchar *data = f.map(0, size);
        if (!data) {
            bytes = f.readAll();
            data = reinterpret_cast<const uchar *>(bytes.constData());
        }
        image = Exiv2::ImageFactory::open(data, long(size));
        image->readMetadata();
        return true;
    }
    Exiv2::Image &operator*() const { return *image; }

private:
    QFile f;
    QByteArray bytes;
    decltype(Exiv2::ImageFactory::open(std::string())) image;
};

bool xmpPosition(const Exiv2::XmpData &xmp, double *lat, double *lon)
{
    Exiv2::ExifData converted;
    Exiv2::copyXmpToExif(xmp, converted);
    return positionOf(converted, lat, lon);
}

// An image's bytes after exiv2 wrote its metadata in memory.
QByteArray bytesOf(Exiv2::Image &image)
{
    Exiv2::BasicIo &io = image.io();
    io.open();
    const QByteArray out(reinterpret_cast<const char *>(io.mmap()), qsizetype(io.size()));
    io.munmap();
    io.close();
    return out;
}

QString rationalDegrees(double degrees)
{
    // Whole degrees and minutes, seconds to a millionth (3e-10 of a degree).
    const qint64 micro = std::llround(std::fabs(degrees) * 3600e6);
    return QStringLiteral("%1/1 %2/1 %3/1000000")
        .arg(micro / qint64(3600e6))
        .arg(micro / qint64(60e6) % 60)
        .arg(micro % qint64(60e6));
}

void eraseGps(Exiv2::ExifData &exif)
{
    for (auto it = exif.begin(); it != exif.end();)
        it = it->groupName() == "GPSInfo" ? exif.erase(it) : std::next(it);
}

void eraseGps(Exiv2::XmpData &xmp)
{
    for (auto it = xmp.begin(); it != xmp.end();)
        it = it->key().rfind("Xmp.exif.GPS", 0) == 0 ? xmp.erase(it) : std::next(it);
}

void setGps(Exiv2::ExifData &exif, const Fix &fix)
{
    const auto set = [&exif](const char *key, const QString &value) {
        exif[key] = value.toStdString();
    };
    set("Exif.GPSInfo.GPSVersionID", QStringLiteral("2 3 0 0"));
    set("Exif.GPSInfo.GPSLatitudeRef", QLatin1String(fix.latitude < 0 ? "S" : "N"));
    set("Exif.GPSInfo.GPSLatitude", rationalDegrees(fix.latitude));
    set("Exif.GPSInfo.GPSLongitudeRef", QLatin1String(fix.longitude < 0 ? "W" : "E"));
    set("Exif.GPSInfo.GPSLongitude", rationalDegrees(fix.longitude));
    if (fix.hasAltitude) {
        set("Exif.GPSInfo.GPSAltitudeRef", QLatin1String(fix.altitude < 0 ? "1" : "0"));
        set("Exif.GPSInfo.GPSAltitude",
            QStringLiteral("%1/1000").arg(std::llround(std::fabs(fix.altitude) * 1000)));
    } else { // none from the track: none left from before either
        for (const char *key : {"Exif.GPSInfo.GPSAltitudeRef", "Exif.GPSInfo.GPSAltitude"}) {
            const auto it = exif.findKey(Exiv2::ExifKey(key));
            if (it != exif.end())
                exif.erase(it);
        }
    }
    const QDateTime utc = QDateTime::fromMSecsSinceEpoch(fix.utcMs, Qt::UTC);
    const QTime t = utc.time();
    set("Exif.GPSInfo.GPSTimeStamp", QStringLiteral("%1/1 %2/1 %3/1000")
                                         .arg(t.hour())
                                         .arg(t.minute())
                                         .arg(t.second() * 1000 + t.msec()));
    set("Exif.GPSInfo.GPSDateStamp", utc.toString(QStringLiteral("yyyy:MM:dd")));
    set("Exif.GPSInfo.GPSMapDatum", QStringLiteral("WGS-84"));
}

// Replaces `file` with `bytes` by way of a copy beside it.
bool replaceFile(const QString &file, const QByteArray &bytes, bool keepTime, QString *error)
{
    const QDateTime modified = QFileInfo(file).lastModified();
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit()) {
        *error = out.errorString();
        return false;
    }
    if (keepTime) {
        QFile written(file);
        if (written.open(QIODevice::ReadWrite | QIODevice::ExistingOnly))
            written.setFileTime(modified, QFileDevice::FileModificationTime);
    }
    return true;
}

bool readOnly(const QString &file)
{
    // The write bits, not only access(): a photo marked read-only stays unwritten even for
    // a user (root) the system would let write it.
    const QFileInfo info(file);
    const auto writeBits =
        QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    return info.exists() && (!(info.permissions() & writeBits) || !info.isWritable());
}

bool writeInPlace(const Photo &photo, const Fix &fix, bool replace, QString *error)
{
    QFile f(photo.file);
    if (!f.open(QIODevice::ReadOnly)) {
        *error = f.errorString();
        return false;
    }
    const QByteArray original = f.readAll();
    f.close();
    auto image = Exiv2::ImageFactory::open(reinterpret_cast<const Exiv2::byte *>(original.data()),
                                           long(original.size()));
    image->readMetadata();
    Exiv2::ExifData exif = image->exifData();
    if (replace) {
        eraseGps(exif);
        Exiv2::XmpData xmp = image->xmpData();
        eraseGps(xmp);
        image->setXmpData(xmp);
    }
    setGps(exif, fix);
    image->setExifData(exif);
    image->writeMetadata();
    const QByteArray written = bytesOf(*image);
    // What goes over the photo must read back with the position in it.
    auto check = Exiv2::ImageFactory::open(reinterpret_cast<const Exiv2::byte *>(written.data()),
                                           long(written.size()));
    check->readMetadata();
    double lat = 0, lon = 0;
    if (!positionOf(check->exifData(), &lat, &lon)) {
        *error = QStringLiteral("exiv2 wrote no readable position");
        return false;
    }
    return replaceFile(photo.file, written, true, error);
}

bool writeSidecar(const Photo &photo, const Fix &fix, bool replace, QString *error)
{
    QByteArray old;
    if (QFile::exists(photo.sidecar)) {
        QFile f(photo.sidecar);
        if (!f.open(QIODevice::ReadOnly)) {
            *error = f.errorString();
            return false;
        }
        old = f.readAll();
    }
    auto sidecar =
        old.isEmpty() ? Exiv2::ImageFactory::create(Exiv2::ImageType::xmp)
                      : Exiv2::ImageFactory::open(reinterpret_cast<const Exiv2::byte *>(old.data()),
                                                  long(old.size()));
    if (sidecar->imageType() != Exiv2::ImageType::xmp) {
        *error = QStringLiteral("%1 is no XMP sidecar").arg(photo.sidecar);
        return false;
    }
    if (!old.isEmpty())
        sidecar->readMetadata();
    Exiv2::XmpData xmp = sidecar->xmpData();
    if (replace)
        eraseGps(xmp);
    Exiv2::ExifData gps;
    setGps(gps, fix);
    Exiv2::copyExifToXmp(gps, xmp);
    sidecar->setXmpData(xmp);
    sidecar->writeMetadata();
    return replaceFile(photo.sidecar, bytesOf(*sidecar), false, error);
}
} // namespace

bool isPhotoName(const QString &fileName)
{
    const QString suffix = QFileInfo(fileName).suffix();
    return among(ImageSuffixes, suffix) || among(RawSuffixes, suffix);
}

Photo read(const QString &file)
{
    initialise();
    Photo p;
    p.file = file;
    const QFileInfo info(file);
    p.sidecar = info.dir().filePath(info.completeBaseName() + QStringLiteral(".xmp"));
    try {
        Opened image;
        if (!image.open(file, &p.error))
            return p;
        const Exiv2::ExifData &exif = (*image).exifData();
        readDate(exif, &p);
        if (!p.hasDate()) { // some programs keep the date in XMP only
            Exiv2::ExifData converted;
            Exiv2::copyXmpToExif((*image).xmpData(), converted);
            readDate(converted, &p);
        }
        p.hasPosition = positionOf(exif, &p.latitude, &p.longitude) ||
                        xmpPosition((*image).xmpData(), &p.latitude, &p.longitude);
        const int type = (*image).imageType();
        const bool raw = among(RawSuffixes, info.suffix()) || type == Exiv2::ImageType::cr2 ||
                         type == Exiv2::ImageType::crw || type == Exiv2::ImageType::mrw ||
                         type == Exiv2::ImageType::orf || type == Exiv2::ImageType::raf ||
                         type == Exiv2::ImageType::rw2;
        const bool tiffName = info.suffix().startsWith(QLatin1String("tif"), Qt::CaseInsensitive);
        p.inPlace = !raw && (type == Exiv2::ImageType::jpeg || type == Exiv2::ImageType::png ||
                             type == Exiv2::ImageType::webp ||
                             (type == Exiv2::ImageType::tiff && tiffName));
        p.readable = true;
    } catch (const std::exception &e) {
        p.error = reason(e);
        return p;
    }
    // A sidecar that cannot be read is no reason to leave the photo: its position is unknown.
    if (!p.hasPosition && QFile::exists(p.sidecar)) {
        try {
            Opened sidecar;
            QString ignored;
            if (sidecar.open(p.sidecar, &ignored))
                p.sidecarPosition = xmpPosition((*sidecar).xmpData(), &p.latitude, &p.longitude);
        } catch (const std::exception &) {
        }
    }
    return p;
}

bool write(const Photo &photo, const Fix &fix, bool intoSidecar, bool replace, QString *error)
{
    initialise();
    const bool sidecar = intoSidecar || !photo.inPlace;
    const QString target = sidecar ? photo.sidecar : photo.file;
    if (readOnly(target)) {
        *error = QStringLiteral("%1 is read-only").arg(QFileInfo(target).fileName());
        return false;
    }
    try {
        return sidecar ? writeSidecar(photo, fix, replace, error)
                       : writeInPlace(photo, fix, replace, error);
    } catch (const std::exception &e) {
        *error = reason(e);
        return false;
    }
}

} // namespace PhotoMeta
