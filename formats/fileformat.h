#ifndef FILEFORMAT_H
#define FILEFORMAT_H

#include "model/trackrecords.h"

#include <QList>
#include <QString>
#include <QVector>

// How tracks are written.
struct WriteOptions
{
    bool markedOnly = false; // only the mark points
    // Each mark also as a waypoint of its own (GPX wpt, KML point placemark, CSV Mark column);
    // off, the exports stay exactly as they always were.
    bool marksAsWaypoints = false;
    // Places of their own to write with the tracks (GPX, KML and GeoJSON keep them); not owned.
    const QVector<Waypoint> *waypoints = nullptr;
};

// A track file format. `read` appends the file's tracks to `tracks` and leaves
// the list untouched when it fails; `write` writes the tracks at the indexes
// of `selection`, in that order. Writers replace a file only once everything
// is written, so a failed save keeps what was there. Both say why they failed
// through errorString(). What a point lacks (a time, an altitude, a speed) is
// left out of what is written, never written as 0.
class FileFormat
{
public:
    virtual ~FileFormat();
    virtual bool read(QVector<Track> &tracks, const QString &fileName) = 0;
    virtual bool write(const QVector<Track> &tracks, const QString &fileName,
                       const QList<int> &selection, const WriteOptions &options) = 0;
    bool write(const QVector<Track> &tracks, const QString &fileName, const QList<int> &selection,
               bool markedOnly)
    {
        return write(tracks, fileName, selection, WriteOptions{markedOnly, false});
    }
    // False for the formats that are only read (KMZ, TCX).
    virtual bool canWrite() const { return true; }
    // Whether written files keep other devices' heart rate, cadence, temperature and power.
    virtual bool keepsSensors() const { return false; }
    // Whether a point of the selected tracks has another device's sensor values.
    static bool anySensors(const QVector<Track> &tracks, const QList<int> &selection);
    // The points of the selection whose sensor values a file of this format would not keep.
    qint64 sensorsLeftOut(const QVector<Track> &tracks, const QList<int> &selection,
                          bool markedOnly) const;
    // One sentence for the open and save dialogs and the command line: what of a track the
    // format holds.
    virtual QString keeps() const = 0;

    QString errorString() const { return error; }
    // After a successful read: what the file held that is not shown, if anything.
    QString readNote() const { return note; }
    // After a successful read: the file's places of their own (waypoints), in its order.
    QVector<Waypoint> waypoints() const { return places; }
    // Whether written files keep a track's description (CSV has no place for it).
    virtual bool keepsDescriptions() const { return true; }
    // The selected tracks with a description a file of this format would not keep.
    qint64 descriptionsLeftOut(const QVector<Track> &tracks, const QList<int> &selection) const;
    // Whether written files keep waypoints.
    virtual bool keepsWaypoints() const { return false; }

protected:
    bool fail(const QString &message);
    // False (with a message) when an index of `selection` is not a track.
    bool checkSelection(const QVector<Track> &tracks, const QList<int> &selection);

    void addSkippedNote(int skipped);
    // Fails for an XML track file its reader stopped on: not a `kind` file at all
    // (`foreign`), or broken, as `failure` says.
    bool failXml(const QString &fileName, bool foreign, const char *kind, const QString &failure);
    // Adds a sentence to the note.
    void addNote(const QString &sentence);
    // Ends a read: notes the points left out and hands the tracks over (moved, not copied,
    // into an empty list: a big file's points are held once). A file of which no point
    // could be read is a failure, saying why.
    bool deliver(QVector<Track> &tracks, QVector<Track> &found, int skipped,
                 const QString &fileName);

    QString error;
    QString note;
    QVector<Waypoint> places;
};

// A format that is only read (TCX, FIT, NMEA, IGC): writing fails, naming the format.
class ReadOnlyFileFormat : public FileFormat
{
public:
    explicit ReadOnlyFileFormat(const char *kind) : kind(kind) {}
    using FileFormat::write;
    bool write(const QVector<Track> &tracks, const QString &fileName, const QList<int> &selection,
               const WriteOptions &options) override;
    bool canWrite() const override { return false; }

private:
    const char *kind;
};

#endif // FILEFORMAT_H
