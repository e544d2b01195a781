#ifndef TRACKRECORDS_H
#define TRACKRECORDS_H

#include <QMetaType>
#include <QString>
#include <QVector>
#include <QtGlobal>

#include <climits>

// One track as the logger lists it. `time` and `date` are the logger's packed
// decimal values (start flag already removed).
struct TrackFileHeader
{
    quint32 time = 0;
    quint32 date = 0;
    QVector<int> blockIndexes;
};

// A log-format-2 record of a data block, fields in host order.
struct DeviceTrackPoint
{
    qint32 latitude = 0; // packed coordinate, +100 degrees on a mark point
    qint32 longitude = 0;
    quint32 time = 0;    // packed hhmmss, UTC
    quint32 date = 0;    // packed ddmmyy
    quint32 speed = 0;   // 0.01 km/h
    qint32 altitude = 0; // 1/10000 m
    quint32 field6 = 0;
    quint32 field7 = 0;
};

// A log-format-1 record: the first five fields of DeviceTrackPoint.
struct DeviceTrackPointShort
{
    qint32 latitude = 0;
    qint32 longitude = 0;
    quint32 time = 0;
    quint32 date = 0;
    quint32 speed = 0;
};

// The decoded contents of one 2048-byte data block: its eight header fields
// and the records of whichever log format header field 7 names.
struct TrackDataBlock
{
    enum : int
    {
        HeaderFields = 8,
        BlockSize = 2048,
        MaxShortRecords = 100,
        MaxRecords = 63
    };
    enum : quint32
    {
        StartFlag = 0x80000000u
    };

    quint32 header[HeaderFields] = {};
    QVector<DeviceTrackPointShort> shortRecords;
    QVector<DeviceTrackPoint> records;
};

class Vec3
{
public:
    Vec3() = default;
    Vec3(double x, double y, double z) : x(x), y(y), z(z) {}
    Vec3(const Vec3 &) = default;
    Vec3 &operator=(const Vec3 &) = default;
    virtual ~Vec3() = default;

    double x = 0.0; // latitude, degrees north
    double y = 0.0; // longitude, degrees east
    double z = 0.0; // altitude, metres
};

struct TrackPoint
{
    // What a point may lack (a file without it), and where a segment of its track starts.
    // The logger's points lack nothing but a time where the record's date is impossible, and
    // log format 1's altitudes.
    enum Flag : quint8
    {
        NoTime = 1,        // no time: `time` is 0 and means nothing
        NoAltitude = 2,    // `position.z` is 0
        NoSpeed = 4,       // `speed` is 0: none given and none could be worked out
        SpeedComputed = 8, // `speed` was worked out from the positions and times
        SegmentStart = 16  // a break before this point: the logger was off, a new segment
    };

    Vec3 position;
    quint32 time = 0; // UTC seconds since 1970
    qint32 marked = 0;
    quint32 speed = 0; // 0.01 km/h
    quint32 field7 = 0;
    quint16 millis = 0; // the fraction of the second, where a file gives one
    quint8 flags = 0;
    // What a heart-rate strap, cadence sensor, thermometer or power meter gave, where a file
    // from another device has it (the logger has none); each with its own "none". They fill
    // the record's padding: a point is no larger for them.
    enum : quint8
    {
        NoHeartRate = 0,
        NoCadence = 255
    };
    static constexpr qint8 NoTemperature = -128;
    static constexpr quint16 NoPower = 0xFFFF;
    quint8 heartRate = NoHeartRate;    // beats a minute
    quint8 cadence = NoCadence;        // revolutions (or steps) a minute
    qint8 temperature = NoTemperature; // whole degrees Celsius
    quint16 power = NoPower;           // watts

    bool hasTime() const { return !(flags & NoTime); } // 0 is 1970-01-01T00:00:00Z
    bool hasAltitude() const { return !(flags & NoAltitude); }
    bool hasSpeed() const { return !(flags & NoSpeed); }
    bool startsSegment() const { return flags & SegmentStart; }
    // Another device's value of a kind (0 heart rate, 1 cadence, 2 temperature, 3 power):
    // false where the point has none.
    bool sensor(int kind, int *value) const
    {
        const int v = kind == 0   ? (heartRate == NoHeartRate ? INT_MIN : heartRate)
                      : kind == 1 ? (cadence == NoCadence ? INT_MIN : cadence)
                      : kind == 2 ? (temperature == NoTemperature ? INT_MIN : temperature)
                                  : (power == NoPower ? INT_MIN : power);
        *value = v;
        return v != INT_MIN;
    }
    bool hasSensors() const
    {
        return heartRate != NoHeartRate || cadence != NoCadence || temperature != NoTemperature ||
               power != NoPower;
    }
    // Seconds since 1970 with the fraction.
    double exactTime() const { return double(time) + millis / 1000.0; }
};

static_assert(sizeof(void *) != 8 || sizeof(TrackPoint) == 56,
              "a point's sensor values must stay in its padding");

// A place a file names on its own, not a point of a track: a GPX wpt, a KML point placemark,
// a GeoJSON Point. Kept with the file's tracks and written back.
struct Waypoint
{
    QString name = {};
    QString description = {};
    double latitude = 0.0, longitude = 0.0, altitude = 0.0;
    quint32 time = 0;
    quint16 millis = 0;
    bool hasAltitude = false, hasTime = false;
    bool operator==(const Waypoint &o) const
    {
        return name == o.name && description == o.description && latitude == o.latitude &&
               longitude == o.longitude && hasAltitude == o.hasAltitude &&
               (!hasAltitude || altitude == o.altitude) && hasTime == o.hasTime &&
               (!hasTime || (time == o.time && millis == o.millis));
    }
};

// Log format 1 records no altitudes; format 2, and the points of a track whose format is not
// known, have them where their own flag says so.
constexpr bool formatHasAltitudes(int format)
{
    return format != 1;
}

struct Track
{
    quint32 startTime = 0; // UTC seconds since 1970
    qint32 format = 0;     // log format 1 or 2; 0 until the first block arrives
    QVector<TrackPoint> points;
    // A download that stopped early keeps what arrived: the blocks the logger listed for
    // the track and those that came. Both 0 for a track read from a file.
    int blocksListed = 0;
    int blocksReceived = 0;
    // Records of a download with an impossible position (a latitude of 1900): left out.
    int impossiblePoints = 0;
    // What the user called the track and wrote about it; empty for a logger's track.
    QString name = {};
    QString description = {};

    bool isIncomplete() const { return blocksReceived < blocksListed; }
    bool hasAltitudes() const { return formatHasAltitudes(format); }
};

Q_DECLARE_METATYPE(TrackFileHeader)
Q_DECLARE_METATYPE(QVector<TrackFileHeader>)

// Registers the record types that cross threads in queued signals.
void registerTrackRecordTypes();

#endif // TRACKRECORDS_H
