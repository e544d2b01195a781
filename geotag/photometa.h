#ifndef PHOTOMETA_H
#define PHOTOMETA_H

#include <QString>
#include <QTemporaryDir>
#include <QtGlobal>

#include <memory>

class ExifTool;

// What the program reads from a photo and writes into it, through exiv2 (this header keeps
// exiv2 out of everything else).
namespace PhotoMeta {

// What tells a file apart from another that takes its name: where it lives on the disk, its
// size and modification time.
struct FileIdentity
{
    quint64 device = 0, inode = 0;
    qint64 size = -1, modifiedNs = 0;
    bool operator==(const FileIdentity &o) const
    {
        return device == o.device && inode == o.inode && size == o.size &&
               modifiedNs == o.modifiedNs;
    }
    bool operator!=(const FileIdentity &o) const { return !(*this == o); }
    static FileIdentity of(const QString &file); // size -1 when there is none
};

// What a photo says about itself.
struct Photo
{
    QString file;
    FileIdentity identity; // when read: a write goes only into that same file
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
    QString sidecar; // NAME.xmp beside the photo (NAME.EXT.xmp where two photos share NAME)
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

// Points the photo at another sidecar and reads the position there.
void useSidecar(Photo *photo, const QString &sidecar);

// Writes positions into photos. With ExifTool (the field's reference writer, which keeps every
// other tag, maker notes and the picture as they are) into the photo itself (JPEG, TIFF, PNG,
// WebP) or its sidecar; without it into sidecars only. Each write goes to a new file first,
// is read back with the position, and replaces the photo only when the photo is still the file
// that was read (else "changed while tagging"); the modification time and permissions are
// kept. A photo ExifTool refuses is left byte for byte, with ExifTool's reason.
class Writer
{
public:
    Writer();
    ~Writer();
    Writer(const Writer &) = delete;
    Writer &operator=(const Writer &) = delete;
    // Whether positions can go into photos themselves (ExifTool is there).
    static bool canWriteInPlace();
    // `replace` first removes a position already there. False, with the reason, when nothing
    // could be written; the photo is then as it was.
    bool write(const Photo &photo, const Fix &fix, bool intoSidecar, bool replace, QString *error);

private:
    bool writeWithTool(const Photo &photo, const Fix &fix, bool sidecar, bool replace,
                       QString *error);
    std::unique_ptr<ExifTool> tool;
    QTemporaryDir scratch;
    int written = 0;
};

// The file extensions taken as photos when a folder is given.
bool isPhotoName(const QString &fileName);
// Those written into the photo itself (where ExifTool is there); the rest get sidecars.
bool isInPlaceName(const QString &fileName);

} // namespace PhotoMeta

#endif // PHOTOMETA_H
