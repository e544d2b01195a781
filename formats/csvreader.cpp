// Reading CSV: the program's own (its header names the units and the time
// zone, which are converted back) and plain files with named columns.
#include "formats/fileformatcsv.h"
#include "formats/trackinput.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>

#include <cmath>

namespace {
constexpr qint64 MaxLine = 64 * 1024;
// The program's own files were written with the single-precision factors.
constexpr double KmPerMile = double(Units::KmPerMileSingle);
constexpr double FeetPerMetre = double(Units::FeetPerMetreSingle);

using TrackInput::tr;

QString unquoted(QStringView field)
{
    QStringView f = field.trimmed();
    if (f.size() >= 2 && f.front() == QLatin1Char('"') && f.back() == QLatin1Char('"'))
        f = f.mid(1, f.size() - 2);
    return f.toString();
}

struct Columns
{
    bool own = false;
    bool localTime = false, feet = false, mph = false;
    QChar separator = QLatin1Char(',');
    int date = -1, time = -1, lat = -1, lon = -1, alt = -1, speed = -1;
};

bool readHeader(const QString &line, Columns *c)
{
    if (line.startsWith(QLatin1String("Date, Time ("))) {
        c->own = true;
        c->localTime = line.contains(QLatin1String("Time (local)"));
        c->feet = line.contains(QLatin1String("Altitude (feet)"));
        c->mph = line.contains(QLatin1String("Speed (mi/hr)"));
        c->date = 0, c->time = 1, c->lat = 2, c->lon = 3, c->alt = 4, c->speed = 5;
        return true;
    }
    if (line.count(QLatin1Char(';')) > line.count(QLatin1Char(',')))
        c->separator = QLatin1Char(';');
    const QStringList names = line.split(c->separator);
    for (int i = 0; i < names.size(); ++i) {
        const QString n = unquoted(names[i]).toLower();
        if (n == QLatin1String("latitude") || n == QLatin1String("lat"))
            c->lat = i;
        else if (n == QLatin1String("longitude") || n == QLatin1String("lon") ||
                 n == QLatin1String("lng"))
            c->lon = i;
        else if (n == QLatin1String("time"))
            c->time = i;
        else if (n == QLatin1String("date"))
            c->date = i;
        else if (n == QLatin1String("altitude") || n == QLatin1String("ele") ||
                 n == QLatin1String("elevation"))
            c->alt = i;
        else if (n == QLatin1String("speed"))
            c->speed = i;
    }
    return c->lat >= 0 && c->lon >= 0;
}

quint32 rowTime(const Columns &c, const QStringList &f)
{
    const QString time = c.time >= 0 ? unquoted(f.value(c.time)) : QString();
    const QString date = c.date >= 0 ? unquoted(f.value(c.date)) : QString();
    if (time.isEmpty())
        return 0;
    if (c.own || !date.isEmpty()) {
        const QDate d = QDate::fromString(date, QStringLiteral("yyyy-MM-dd"));
        const QTime t = QTime::fromString(time, QStringLiteral("hh:mm:ss"));
        if (!d.isValid() || !t.isValid())
            return 0;
        const qint64 s = QDateTime(d, t, c.localTime ? Qt::LocalTime : Qt::UTC).toSecsSinceEpoch();
        return s > 0 && s <= qint64(0xFFFFFFFFu) ? quint32(s) : 0;
    }
    bool digits = false;
    const qint64 epoch = time.toLongLong(&digits);
    if (digits)
        return epoch > 0 && epoch <= qint64(0xFFFFFFFFu) ? quint32(epoch) : 0;
    return TrackInput::isoTime(QString(time).replace(QLatin1Char(' '), QLatin1Char('T')));
}
// One row's point: false when a value of it cannot be read. `format` is 2 when the row has
// an altitude.
bool parseRow(const Columns &c, const QString &text, TrackPoint *p, bool *hasSpeed, int *format)
{
    const QStringList f = text.split(c.separator);
    double z = 0;
    const QString altText = c.alt >= 0 ? unquoted(f.value(c.alt)) : QString();
    bool ok = TrackInput::latitude(unquoted(f.value(c.lat)), &p->position.x) &&
              TrackInput::longitude(unquoted(f.value(c.lon)), &p->position.y) &&
              (altText.isEmpty() || TrackInput::altitude(altText, &z));
    p->position.z = c.feet ? z / FeetPerMetre : z;
    p->time = rowTime(c, f);
    *hasSpeed = false;
    *format = altText.isEmpty() ? 1 : 2;
    const QString speedText = c.speed >= 0 ? unquoted(f.value(c.speed)) : QString();
    if (ok && !speedText.isEmpty()) {
        const double v = speedText.toDouble(hasSpeed);
        const double kmh = c.mph ? v * KmPerMile : v;
        ok = *hasSpeed && std::isfinite(kmh) && kmh >= 0 && kmh < 4e7;
        if (ok)
            p->speed = quint32(std::lround(kmh * 100));
    }
    return ok;
}

// The rows' points gathered into tracks.
struct TrackAssembly
{
    QVector<Track> found;
    QVector<QVector<bool>> speedGiven;

    void add(const Columns &c, const TrackPoint &p, bool hasSpeed, int format)
    {
        // The program's CSV runs its tracks together: a new one starts where the altitude
        // comes or goes, or time runs back.
        const bool newTrack =
            found.isEmpty() ||
            (c.own && (found.last().format != format ||
                       (p.time != 0 && p.time < found.last().points.last().time)));
        if (newTrack) {
            found.append(Track{0, format, {}});
            speedGiven.append(QVector<bool>());
        } else if (format == 2) {
            found.last().format = 2;
        }
        found.last().points.append(p);
        speedGiven.last().append(hasSpeed);
    }

    void finish()
    {
        for (int i = 0; i < found.size(); ++i) {
            TrackInput::fillSpeeds(found[i], speedGiven[i]);
            found[i].startTime = TrackInput::firstTime(found[i]);
        }
    }
};

// The file's lines one by one, trimmed, each at most 64 KB.
class LineReader
{
public:
    explicit LineReader(QFile &file) : file(file), line(MaxLine + 2, Qt::Uninitialized) {}
    // False at the end; with `tooLong` set for a line over the bound.
    bool next(QString *text, bool *tooLong)
    {
        const qint64 n = file.readLine(line.data(), line.size());
        if (n < 0)
            return false;
        ++number;
        *tooLong = n > MaxLine && !line.startsWith('\n') && line[n - 1] != '\n' && !file.atEnd();
        *text = QString::fromUtf8(line.constData(), n).trimmed();
        return !*tooLong;
    }
    qint64 number = 0;

private:
    QFile &file;
    QByteArray line;
};
} // namespace

bool FileFormatCSV::read(QVector<Track> &tracks, const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return fail(tr("Cannot open %1: %2").arg(fileName, file.errorString()));
    LineReader lines(file);
    Columns c;
    TrackAssembly assembly;
    int skipped = 0;
    bool headerSeen = false, tooLong = false;
    QString text;
    while (lines.next(&text, &tooLong)) {
        if (text.isEmpty())
            continue;
        if (!headerSeen) {
            headerSeen = true;
            if (!readHeader(text.startsWith(QChar(0xFEFF)) ? text.mid(1) : text, &c))
                return fail(tr("%1 cannot be read: line 1 names no latitude and longitude columns.")
                                .arg(fileName));
            continue;
        }
        TrackPoint p;
        bool hasSpeed = false;
        int format = 1;
        if (parseRow(c, text, &p, &hasSpeed, &format))
            assembly.add(c, p, hasSpeed, format);
        else
            ++skipped;
    }
    if (tooLong)
        return fail(
            tr("%1 cannot be read: line %2 is longer than 64 KB.").arg(fileName).arg(lines.number));
    if (file.error() != QFileDevice::NoError)
        return fail(tr("Cannot read %1: %2").arg(fileName, file.errorString()));
    if (!headerSeen)
        return fail(tr("%1 cannot be read: it is empty.").arg(fileName));
    assembly.finish();
    note.clear();
    return deliver(tracks, assembly.found, skipped);
}
