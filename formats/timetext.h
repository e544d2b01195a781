#ifndef TIMETEXT_H
#define TIMETEXT_H

#include <QByteArray>
#include <QtGlobal>

// Formats many point times quickly. Converting each time through QDateTime
// costs a time-zone lookup; points come in time order, so the local offset is
// looked up once per quarter hour (zone changes fall on quarter hours).
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

private:
    qint64 offsetFor(qint64 epoch);

    bool local;
    qint64 cachedBucket = -1;
    qint64 cachedOffset = 0;
};

#endif // TIMETEXT_H
