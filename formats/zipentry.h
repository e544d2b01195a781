#ifndef ZIPENTRY_H
#define ZIPENTRY_H

#include <QByteArray>
#include <QString>

// Reading one file out of a zip archive (a KMZ), with bounds so that a hostile archive
// cannot make the program hold more than it should.
namespace ZipEntry {

constexpr qint64 MaxEntries = 10000;
constexpr qint64 MaxBytes = qint64(256) << 20; // as the XML readers' longest text
// Deflate reaches about 1:1000 on repeated text; real KML stays far below 1:100.
constexpr qint64 MaxRatio = 100;

// The archive's "doc.kml", or else its first entry ending in ".kml", into `kml`; false with
// the reason (not a zip, no KML, too big, damaged, encrypted).
bool readFirstKml(const QString &fileName, QByteArray *kml, QString *error);

} // namespace ZipEntry

#endif // ZIPENTRY_H
