#ifndef TRACKINPUT_H
#define TRACKINPUT_H

#include "model/trackrecords.h"

#include <QByteArrayView>
#include <QFile>
#include <QString>
#include <QXmlStreamReader>

// What reading track files from other programs shares: checked numbers and
// times, speeds worked out where a file has none, and an XML stream fed from
// the file piece by piece with bounds on what it may hold.
namespace TrackInput {

// A finite decimal number, spaces around it allowed, `point` as its decimal point. Fast
// (from_chars on a small buffer): millions of values per file, which QString::toDouble
// reads several times slower.
bool decimal(QStringView text, double *value, QChar point = QLatin1Char('.'));
// A number the file may hold for this field, or false (nan, inf, 1e400, out of range).
bool latitude(QStringView text, double *value);
bool longitude(QStringView text, double *value);
bool altitude(QStringView text, double *value);
// The same ranges for a number already read.
bool isLatitude(double v);
bool isLongitude(double v);
bool isAltitude(double v);
// ISO 8601 with Z or an offset (no zone counts as UTC) to seconds since 1970, and the
// fraction of the second in `millis`; 0 with `ok` false if it is not a time the program can
// hold (1970-01-01T00:00:00Z is 0 with `ok` true).
quint32 isoTime(QStringView text, quint16 *millis = nullptr, bool *ok = nullptr);
// Marks `p` as having no time.
void setNoTime(TrackPoint &p);
// Speeds worked out from the positions and exact times (TripAnalysis::workOutSpeeds) for
// the points the file gave none; points where none can be worked out are marked as having
// no speed.
void fillSpeeds(Track &track, const QVector<bool> &hasSpeed);
// Start time: the first point time, or 0.
quint32 firstTime(const Track &track);
// The start time in a name the program's own exports give each track,
// "LX-300 DataLog-N yyyy-MM-dd hh:mm:ss" (GPX in UTC, KML in local time); 0 otherwise.
quint32 ownStartTime(const QString &name, Qt::TimeSpec zone);
// Whether a track's name is one this program writes for a track without a name of its own
// ("LX-300 DataLog-2 2009-04-11 13:45:00"): such a name is not kept as the track's.
bool isOwnName(const QString &name);
// The sensor values other devices record, as their files name them: GPX's Garmin extensions
// (hr, cad, atemp), TCX (Cadence, RunCadence, Watts; its heart rate is a HeartRateBpm's Value)
// and others (heartrate, power, PowerInWatts); None for any other name.
enum class Sensor
{
    None,
    HeartRate,
    Cadence,
    Temperature,
    Power
};
Sensor sensorNamed(QStringView localName);
// Sets the point's value when it is one the point can hold (a heart rate of 1 to 254 bpm, a
// cadence of 0 to 254 rpm, -127 to 127 degrees, 0 to 65534 W); a temperature with a fraction is
// rounded to whole degrees, and `rounded` counts it.
bool setSensor(TrackPoint &p, Sensor s, double value, int *rounded);
bool setSensor(TrackPoint &p, Sensor s, QStringView text, int *rounded);

// A message of the file formats' (translated with theirs).
QString tr(const char *text);
// `what` with the count and the first lines: "Values that cannot be read, left out: 3 (lines
// 5, 9, 12)."; `lines` needs to hold only the first six.
QString linesNote(const char *what, qint64 count, const QList<qint64> &lines);
// Whether a time of day (ms) after `before` belongs to the next day: logs run forward, so a
// time more than 12 hours earlier is past midnight (a small step back is a glitch).
inline bool pastMidnight(qint64 before, qint64 ms)
{
    return ms + 12 * 3600 * 1000 < before;
}

// A text file read line by line from memory (mapped where it can be): sentence logs of a
// million lines read without a copy of each line.
class LineFile
{
public:
    explicit LineFile(const QString &fileName) : file(fileName) {}
    bool open(QString *error);
    // The next line without its end (\n, \r\n or \r); false at the end.
    bool next(QByteArrayView *line);
    // How many lines the file has (counted once, quickly): room enough for a point a line.
    qint64 lineCount() const;
    qint64 number = 0; // of the line last given, from 1

private:
    QFile file;
    QByteArray copy; // where the file cannot be mapped
    const char *at = nullptr;
    const char *end = nullptr;
    char separator = '\n';
};

// Reads an XML file in pieces. A tag longer than 1 MB or with more than 512
// attributes, or text longer than 256 MB without markup, is refused rather than held; entities
// expand only within QXmlStreamReader's limit, and no DTD or outside entity is loaded.
class XmlFile
{
public:
    explicit XmlFile(const QString &fileName) : file(fileName), device(&file) {}
    // A document already in memory or elsewhere (a KMZ's KML); not owned, opened for reading.
    explicit XmlFile(QIODevice *document) : device(document) {}
    bool open(QString *error);
    // The next start or end tag; Invalid at the end or on an error (see failure()).
    // `text` holds the characters read since the tag before it; `atRoot` is true
    // for the document's first start tag only.
    QXmlStreamReader::TokenType nextTag();
    QString text;
    bool atRoot = false;
    bool failed() const { return !problem.isEmpty() || xml.hasError(); }
    bool started() const { return tagSeen; } // a start tag was read
    QString failure() const;                 // with the line number
    // Whether the current tag has this (ASCII) local name. Inline: called for every tag.
    bool is(const char *name) const
    {
        const QStringView n = xml.name();
        qsizetype i = 0;
        for (; i < n.size() && name[i] != 0; ++i)
            if (n[i].unicode() != uchar(name[i]))
                return false;
        return i == n.size() && name[i] == 0;
    }
    QXmlStreamReader xml;

private:
    QXmlStreamReader::TokenType next();
    bool feed();
    bool tagSeen = false;
    QFile file;
    QIODevice *device;
    QString problem;
    bool inTag = false;
    qint64 run = 0;     // bytes since the last '<' or '>'
    int attributes = 0; // '=' in the tag since then
};

} // namespace TrackInput

#endif // TRACKINPUT_H
