#ifndef PHOTOMETA_H
#define PHOTOMETA_H

#include <QString>
#include <QtGlobal>

// What the program reads from a photo and writes into it, through exiv2 (this header keeps
// exiv2 out of everything else).
namespace PhotoMeta {

// What a photo says about itself.
struct Photo
{
    QString file;
    bool readable = false;
    QString error; // exiv2's reason, when not readable

    // The camera's clock when the photo was taken, read as if it were UTC (so the camera's
    // offset still has to come off), with the fraction of SubSecTime; 0 without a date.
    qint64 clockMs = 0;
    bool hasDate() const { return clockMs != 0; }
    // OffsetTimeOriginal: the camera said how far its clock was from UTC.
    bool hasZone = false;
    int zoneS = 0;

    // A position it already has in itself, or else in its sidecar (which may be a RAW
    // file's of the same name: it counts for photos tagged into sidecars only).
    bool hasPosition = false;
    bool sidecarPosition = false;
    double latitude = 0, longitude = 0;

    // RAW files and types exiv2 cannot write in place get a sidecar.
    bool inPlace = false;
    QString sidecar; // NAME.xmp beside the photo
};

// Where a photo was taken, and when (UTC).
struct Fix
{
    double latitude = 0, longitude = 0;
    bool hasAltitude = false;
    double altitude = 0;
    qint64 utcMs = 0;
};

// Reads a photo's date, zone, position and kind; a damaged or foreign file comes back
// unreadable with the reason, never as an exception.
Photo read(const QString &file);

// Writes `fix` into the photo itself (JPEG, TIFF, PNG, WebP: a copy written beside it, then
// renamed over it, its modification time kept) or into its sidecar (created, or updated with
// everything else it holds kept). `replace` first removes a position already there. False,
// with the reason, when nothing could be written; the photo is then as it was.
bool write(const Photo &photo, const Fix &fix, bool intoSidecar, bool replace, QString *error);

// The file extensions taken as photos when a folder is given.
bool isPhotoName(const QString &fileName);

} // namespace PhotoMeta

#endif // PHOTOMETA_H
