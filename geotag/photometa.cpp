#include "geotag/photometa.h"

#include "geotag/exiftool.h"
#include "model/conversions.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSaveFile>

#include <exiv2/bmffimage.hpp>
#include <exiv2/exiv2.hpp>
#include <exiv2/webpimage.hpp>

#include <cmath>
#include <functional>
#include <mutex>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace PhotoMeta {

namespace {
// Photos bigger than this are not photos the program tags (and exiv2 takes a long size).
constexpr qint64 MaxPhotoBytes = qint64(1) << 30;

const char *const RawSuffixes[] = {"3fr", "ari", "arw", "bay", "cr2", "cr3", "crw", "dcr",
                                   "dng", "erf", "fff", "iiq", "k25", "kdc", "mef", "mos",
                                   "mrw", "nef", "nrw", "orf", "pef", "raf", "raw", "rw2",
                                   "rwl", "sr2", "srf", "srw", "x3f"};
const char *const ImageSuffixes[] = {"jpg",  "jpeg", "jpe",  "tif", "tiff", "png",
                                     "webp", "heic", "heif", "hif", "avif"};

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
        Exiv2::enableBMFF(); // HEIC, HEIF, AVIF and CR3
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

// "2009:04:11 08:15:00" as milliseconds since 1970 taken as UTC; 0 when it is no date. Worked
// out directly: a wall time the computer's zone skips (the spring change) is a time too.
qint64 clockOf(const std::string &text)
{
    int v[6] = {};
    const char *seps = ":: ::";
    size_t at = 0;
    for (int i = 0; i < 6; ++i) {
        const size_t digits = i == 0 ? 4 : 2;
        if (at + digits > text.size())
            return 0;
        for (size_t k = 0; k < digits; ++k) {
            const char c = text[at + k];
            if (c < '0' || c > '9')
                return 0;
            v[i] = v[i] * 10 + (c - '0');
        }
        at += digits;
        if (i < 5 && (at >= text.size() || (text[at] != seps[i] && text[at] != 'T')))
            return 0;
        ++at;
    }
    if (!validCivilDate(v[0], v[1], v[2]) || v[3] > 23 || v[4] > 59 || v[5] > 59)
        return 0;
    const qint64 ms =
        (((daysFromCivil(v[0], v[1], v[2]) * 24 + v[3]) * 60 + v[4]) * 60 + v[5]) * 1000;
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

// An XMP date ("2009-04-11T08:15:00.5+02:00"): the wall clock, its fraction and zone. A date
// without a time of day is no date (midnight would be made up).
void readXmpDate(const Exiv2::XmpData &xmp, Photo *p)
{
    static const QRegularExpression form(
        QStringLiteral("^(\\d{4})-(\\d{2})-(\\d{2})T(\\d{2}):(\\d{2})(?::(\\d{2})(?:\\.(\\d+))?)?"
                       "(Z|[+-]\\d{2}:\\d{2})?$"));
    for (const char *key :
         {"Xmp.exif.DateTimeOriginal", "Xmp.xmp.CreateDate", "Xmp.photoshop.DateCreated"}) {
        const auto it = xmp.findKey(Exiv2::XmpKey(key));
        if (it == xmp.end())
            continue;
        const QRegularExpressionMatch m =
            form.match(QString::fromStdString(it->toString()).trimmed());
        if (!m.hasMatch())
            continue;
        const std::string clock =
            QStringLiteral("%1:%2:%3 %4:%5:%6")
                .arg(m.captured(1), m.captured(2), m.captured(3), m.captured(4), m.captured(5),
                     m.captured(6).isEmpty() ? QStringLiteral("00") : m.captured(6))
                .toStdString();
        const qint64 ms = clockOf(clock);
        if (ms == 0)
            continue;
        p->clockMs = ms + millisOf(m.captured(7).toStdString());
        const QString zone = m.captured(8);
        p->hasZone = zone == QLatin1String("Z") ||
                     (!zone.isEmpty() && zoneOf(zone.toStdString(), &p->zoneS));
        if (zone == QLatin1String("Z"))
            p->zoneS = 0;
        return;
    }
}

// exiv2 0.27 misses the Exif of some HEIC files (those libheif writes, among others): there,
// ExifTool reads the date and position, where it is installed.
void readWithTool(Photo *p)
{
    const QString exe = ExifTool::program();
    if (exe.isEmpty())
        return;
    QProcess tool;
    tool.start(exe, {QStringLiteral("-n"), QStringLiteral("-j"),
                     QStringLiteral("-DateTimeOriginal"), QStringLiteral("-SubSecTimeOriginal"),
                     QStringLiteral("-OffsetTimeOriginal"), QStringLiteral("-GPSLatitude"),
                     QStringLiteral("-GPSLongitude"), QFileInfo(p->file).absoluteFilePath()});
    if (!tool.waitForFinished(30000))
        return;
    const QJsonObject o = QJsonDocument::fromJson(tool.readAllStandardOutput())[0].toObject();
    const qint64 clock =
        clockOf(o.value(QStringLiteral("DateTimeOriginal")).toString().toStdString());
    if (clock != 0) {
        p->clockMs =
            clock +
            millisOf(
                o.value(QStringLiteral("SubSecTimeOriginal")).toVariant().toString().toStdString());
        p->hasZone = zoneOf(o.value(QStringLiteral("OffsetTimeOriginal")).toString().toStdString(),
                            &p->zoneS);
    }
    if (o.contains(QStringLiteral("GPSLatitude")) && o.contains(QStringLiteral("GPSLongitude"))) {
        p->hasPosition = true;
        p->latitude = o.value(QStringLiteral("GPSLatitude")).toDouble();
        p->longitude = o.value(QStringLiteral("GPSLongitude")).toDouble();
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

// The metadata of a file or sidecar, through exiv2 on the file's bytes:
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
        // Read, not mapped: a file cut short meanwhile (another program writing it) would
        // kill the run with SIGBUS when mapped; read, it is just shorter.
        bytes = f.read(size);
        if (bytes.isEmpty()) {
            *error = f.errorString();
            return false;
        }
        image = Exiv2::ImageFactory::open(reinterpret_cast<const uchar *>(bytes.constData()),
                                          long(bytes.size()));
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

// Replaces `file` with `bytes` by way of a copy beside it, when `unchanged` (if given) says the
// file is still the one that was read.
bool replaceFile(const QString &file, const QByteArray &bytes, bool keepTime,
                 const std::function<bool()> &unchanged, QString *error)
{
    const QDateTime modified = QFileInfo(file).lastModified();
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size()) {
        *error = out.errorString();
        return false;
    }
    if (unchanged && !unchanged()) {
        out.cancelWriting();
        *error = QStringLiteral("changed while tagging");
        return false;
    }
    if (!out.commit()) {
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

QString number(double v, int decimals)
{
    return QString::number(v, 'f', decimals);
}

// ExifTool's assignments for a position, in numbers (-n): the GPS directory of the photo, or
// the XMP of a sidecar.
QStringList gpsArguments(const Fix &fix, bool sidecar, bool replace)
{
    const QDateTime utc = QDateTime::fromMSecsSinceEpoch(fix.utcMs, Qt::UTC);
    const QString altitude = number(std::fabs(fix.altitude), 3);
    const QString below = QLatin1String(fix.altitude < 0 ? "1" : "0");
    QStringList a{QStringLiteral("-n")};
    if (sidecar) {
        const QString x = QStringLiteral("-XMP-exif:");
        if (replace)
            a << x + QStringLiteral("GPS*=");
        a << x + QStringLiteral("GPSVersionID=2.3.0.0")
          << x + QStringLiteral("GPSLatitude=") + number(fix.latitude, 10)
          << x + QStringLiteral("GPSLongitude=") + number(fix.longitude, 10);
        if (fix.hasAltitude)
            a << x + QStringLiteral("GPSAltitude=") + altitude
              << x + QStringLiteral("GPSAltitudeRef=") + below;
        else
            a << x + QStringLiteral("GPSAltitude=") << x + QStringLiteral("GPSAltitudeRef=");
        return a << x + QStringLiteral("GPSDateTime=") +
                        utc.toString(QStringLiteral("yyyy:MM:dd HH:mm:ss.zzz")) + QLatin1Char('Z')
                 << x + QStringLiteral("GPSMapDatum=WGS-84");
    }
    const QString g = QStringLiteral("-GPS:");
    if (replace)
        a << QStringLiteral("-GPS:all=") << QStringLiteral("-XMP-exif:GPS*=");
    a << g + QStringLiteral("GPSVersionID=2 3 0 0")
      << g + QStringLiteral("GPSLatitude=") + number(std::fabs(fix.latitude), 10)
      << g + QStringLiteral("GPSLatitudeRef=") + QLatin1String(fix.latitude < 0 ? "S" : "N")
      << g + QStringLiteral("GPSLongitude=") + number(std::fabs(fix.longitude), 10)
      << g + QStringLiteral("GPSLongitudeRef=") + QLatin1String(fix.longitude < 0 ? "W" : "E");
    if (fix.hasAltitude) // none from the track: none left from before either
        a << g + QStringLiteral("GPSAltitude=") + altitude
          << g + QStringLiteral("GPSAltitudeRef=") + below;
    else
        a << g + QStringLiteral("GPSAltitude=") << g + QStringLiteral("GPSAltitudeRef=");
    return a << g + QStringLiteral("GPSTimeStamp=") + utc.toString(QStringLiteral("HH:mm:ss.zzz"))
             << g + QStringLiteral("GPSDateStamp=") + utc.toString(QStringLiteral("yyyy:MM:dd"))
             << g + QStringLiteral("GPSMapDatum=WGS-84");
}

// ExifTool's own words for a refusal: its "Error:" lines, without the file name it repeats.
QString toolError(const QString &output)
{
    QStringList errors;
    for (const QString &line : output.split(QLatin1Char('\n'))) {
        const QString t = line.trimmed();
        if (t.startsWith(QLatin1String("Error")))
            errors << t.section(QStringLiteral(" - /"), 0, 0).section(QStringLiteral(" - "), 0, 0);
    }
    return errors.isEmpty() ? output.trimmed() : errors.join(QStringLiteral("; "));
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
    // The GPS time and date as one UTC time, with its Z (the conversion leaves it off).
    xmp["Xmp.exif.GPSTimeStamp"] = QDateTime::fromMSecsSinceEpoch(fix.utcMs, Qt::UTC)
                                       .toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ"))
                                       .toStdString();
    sidecar->setXmpData(xmp);
    sidecar->writeMetadata();
    return replaceFile(photo.sidecar, bytesOf(*sidecar), false, {}, error);
}
} // namespace

bool isInPlaceName(const QString &fileName)
{
    static const char *const inPlace[] = {"jpg", "jpeg", "jpe", "tif", "tiff", "png", "webp"};
    return among(inPlace, QFileInfo(fileName).suffix());
}

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
    p.identity = FileIdentity::of(file); // before the bytes: a change while reading shows
    const QFileInfo info(file);
    p.sidecar = info.dir().filePath(info.completeBaseName() + QStringLiteral(".xmp"));
    try {
        Opened image;
        if (!image.open(file, &p.error))
            return p;
        const Exiv2::ExifData &exif = (*image).exifData();
        readDate(exif, &p);
        const int type = (*image).imageType();
        if (type == Exiv2::ImageType::crw && p.hasDate()) {
            // exiv2 writes a CRW's clock out through this computer's zone: undone here.
            const qint64 fraction = p.clockMs % 1000;
            const QDateTime wall = QDateTime::fromMSecsSinceEpoch(p.clockMs - fraction, Qt::UTC);
            const QDateTime local(wall.date(), wall.time(), Qt::LocalTime);
            if (local.isValid())
                p.clockMs = local.toMSecsSinceEpoch() + fraction;
        }
        if (!p.hasDate()) // some programs keep the date in XMP only
            readXmpDate((*image).xmpData(), &p);
        p.hasPosition = positionOf(exif, &p.latitude, &p.longitude) ||
                        xmpPosition((*image).xmpData(), &p.latitude, &p.longitude);
        const bool raw = among(RawSuffixes, info.suffix()) || type == Exiv2::ImageType::cr2 ||
                         type == Exiv2::ImageType::crw || type == Exiv2::ImageType::mrw ||
                         type == Exiv2::ImageType::orf || type == Exiv2::ImageType::raf ||
                         type == Exiv2::ImageType::rw2;
        const bool tiffName = info.suffix().startsWith(QLatin1String("tif"), Qt::CaseInsensitive);
        p.inPlace = !raw && (type == Exiv2::ImageType::jpeg || type == Exiv2::ImageType::png ||
                             type == Exiv2::ImageType::webp ||
                             (type == Exiv2::ImageType::tiff && tiffName));
        if (!p.hasDate() && type == Exiv2::ImageType::bmff)
            readWithTool(&p);
        p.readable = true;
    } catch (const std::exception &e) {
        p.error = reason(e);
        return p;
    }
    useSidecar(&p, p.sidecar);
    return p;
}

namespace {
// What goes over the photo must read back with the position in it: through exiv2, or where
// exiv2 does not look (a PNG's eXIf chunk) through ExifTool.
bool readsBack(const QByteArray &bytes, const QString &file, bool sidecar, const Fix &fix,
               ExifTool &tool)
{
    double lat = 0, lon = 0;
    bool placed = false;
    try {
        auto check = Exiv2::ImageFactory::open(
            reinterpret_cast<const Exiv2::byte *>(bytes.constData()), long(bytes.size()));
        check->readMetadata();
        placed = sidecar ? xmpPosition(check->xmpData(), &lat, &lon)
                         : positionOf(check->exifData(), &lat, &lon);
    } catch (const std::exception &) {
    }
    QString said;
    if (!placed && tool.run({QStringLiteral("-n"), QStringLiteral("-s3"),
                             QStringLiteral("-GPSLatitude"), QStringLiteral("-GPSLongitude"), file},
                            &said)) {
        const QStringList v = said.split(QLatin1Char('\n'));
        bool okLat = false, okLon = false;
        if (v.size() == 2) {
            lat = v[0].trimmed().toDouble(&okLat);
            lon = v[1].trimmed().toDouble(&okLon);
        }
        placed = okLat && okLon;
    }
    return placed && std::fabs(lat - fix.latitude) <= 1e-6 &&
           std::fabs(lon - fix.longitude) <= 1e-6;
}
} // namespace

FileIdentity FileIdentity::of(const QString &file)
{
    FileIdentity id;
#ifdef Q_OS_UNIX
    struct stat st;
    if (::stat(QFile::encodeName(file).constData(), &st) != 0)
        return id;
    id.device = quint64(st.st_dev);
    id.inode = quint64(st.st_ino);
    id.size = qint64(st.st_size);
#ifdef Q_OS_LINUX
    id.modifiedNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
#else
    id.modifiedNs = qint64(st.st_mtime) * 1000000000;
#endif
#else // no inode: the creation time stands in for it
    const QFileInfo info(file);
    if (!info.exists())
        return id;
    id.inode = quint64(info.birthTime().toMSecsSinceEpoch());
    id.size = info.size();
    id.modifiedNs = info.lastModified().toMSecsSinceEpoch() * 1000000;
#endif
    return id;
}

void useSidecar(Photo *photo, const QString &sidecar)
{
    // A sidecar that cannot be read is no reason to leave the photo: its position is unknown.
    photo->sidecar = sidecar;
    photo->sidecarPosition = false;
    if (photo->hasPosition || !QFile::exists(sidecar))
        return;
    try {
        Opened opened;
        QString ignored;
        if (opened.open(sidecar, &ignored))
            photo->sidecarPosition =
                xmpPosition((*opened).xmpData(), &photo->latitude, &photo->longitude);
    } catch (const std::exception &) {
    }
}

Writer::Writer() = default;
Writer::~Writer() = default;

bool Writer::canWriteInPlace()
{
    return !ExifTool::program().isEmpty();
}

bool Writer::write(const Photo &photo, const Fix &fix, bool intoSidecar, bool replace,
                   QString *error)
{
    initialise();
    if (!tool && canWriteInPlace())
        tool = std::make_unique<ExifTool>();
    const bool sidecar = intoSidecar || !photo.inPlace || !tool;
    const QString target = sidecar ? photo.sidecar : photo.file;
    if (readOnly(target)) {
        *error = QStringLiteral("%1 is read-only").arg(QFileInfo(target).fileName());
        return false;
    }
    try {
        return tool ? writeWithTool(photo, fix, sidecar, replace, error)
                    : writeSidecar(photo, fix, replace, error);
    } catch (const std::exception &e) {
        *error = reason(e);
        return false;
    }
}

bool Writer::writeWithTool(const Photo &photo, const Fix &fix, bool sidecar, bool replace,
                           QString *error)
{
    const QString source = QFileInfo(sidecar ? photo.sidecar : photo.file).absoluteFilePath();
    const auto unchanged = [&photo] { return FileIdentity::of(photo.file) == photo.identity; };
    if (!sidecar && !unchanged()) {
        *error = QStringLiteral("changed while tagging");
        return false;
    }
    if (!scratch.isValid()) {
        *error = QStringLiteral("no temporary folder: %1").arg(scratch.errorString());
        return false;
    }
    // ExifTool writes into a copy; the photo is replaced from it only once it reads back right.
    const QString out = scratch.filePath(QString::number(++written) + QLatin1Char('.') +
                                         QFileInfo(source).suffix());
    const bool fromNothing = !QFile::exists(source); // a new sidecar
    if (!fromNothing && !QFile::copy(source, out)) {
        *error = QStringLiteral("it cannot be copied to %1").arg(scratch.path());
        return false;
    }
    QStringList args = fromNothing ? QStringList{QStringLiteral("-o"), out}
                                   : QStringList{QStringLiteral("-overwrite_original")};
    args += gpsArguments(fix, sidecar, replace);
    if (!fromNothing)
        args << out;
    QString said;
    const bool ran = tool->run(args, &said);
    QFile written(out);
    const bool updated = said.contains(QLatin1String("1 image files updated")) ||
                         said.contains(QLatin1String("1 image files created"));
    if (!ran || !updated || !written.open(QIODevice::ReadOnly)) {
        written.remove();
        *error = ran ? toolError(said) : said;
        return false;
    }
    const QByteArray bytes = written.readAll();
    written.close();
    const bool placed = readsBack(bytes, out, sidecar, fix, *tool);
    written.remove();
    if (!placed) {
        *error = QStringLiteral("ExifTool wrote no readable position");
        return false;
    }
    if (!sidecar && bytes.size() < QFileInfo(source).size() / 2) {
        *error = QStringLiteral("the written photo would lose most of its bytes");
        return false;
    }
    return replaceFile(sidecar ? photo.sidecar : photo.file, bytes, !sidecar,
                       sidecar ? std::function<bool()>() : unchanged, error);
}

} // namespace PhotoMeta
