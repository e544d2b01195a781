#ifndef TIMETEXT_H
#define TIMETEXT_H

#include <QByteArray>
#include <QtGlobal>

// Formats many point times quickly. Converting each time through QDateTime
// costs a time-zone lookup; points come in time order, so the local offset is
// looked up once and kept until the zone's next change (changes may fall on
// any minute: St. John's changed at 00:01 local time until 2011).
class TimeText
{
public:
    explicit TimeText(bool localTime) : local(localTime) {}

    struct Fields
    {
        int year, month, day, hour, minute, second;
    };
    Fields fields(quint32 epoch);

    // "yyyy-MM-dd", "hh:mm:ss", both, or the GPX form "yyyy-MM-ddThh:mm:ssZ".
    void appendDate(QByteArray &out, quint32 epoch);
    void appendTime(QByteArray &out, quint32 epoch);
    QByteArray dateTime(quint32 epoch, char separator = ' ');
    // ISO 8601 as the exports write it, "yyyy-MM-ddThh:mm:ss[.mmm]Z": the fraction of the
    // second where there is one (for a UTC TimeText).
    QByteArray isoTime(quint32 epoch, quint16 millis);

    // Local time minus UTC at `epoch`, in seconds (0 for UTC).
    qint64 offsetFor(qint64 epoch);

private:
    bool local;
    qint64 validFrom = 1;
    qint64 validUntil = 0; // the cached offset holds for [validFrom, validUntil)
    qint64 cachedOffset = 0;
};

#endif // TIMETEXT_H
