#include "formats/fileformats.h"

#include "formats/fileformatcsv.h"
#include "formats/fileformatfit.h"
#include "formats/fileformatgeojson.h"
#include "formats/fileformatgpx.h"
#include "formats/fileformatkml.h"
#include "formats/fileformatnmea.h"
#include "formats/fileformattcx.h"
#include "formats/fileformattkr.h"

FileFormats::FileFormats(const DisplayUnits *units)
{
    formats[QStringLiteral(".tkr")] = std::make_unique<FileFormatTKR>();
    formats[QStringLiteral(".csv")] = std::make_unique<FileFormatCSV>(units);
    formats[QStringLiteral(".gpx")] = std::make_unique<FileFormatGPX>();
    formats[QStringLiteral(".kml")] = std::make_unique<FileFormatKML>();
    formats[QStringLiteral(".geojson")] = std::make_unique<FileFormatGeoJSON>();
    formats[QStringLiteral(".json")] = std::make_unique<FileFormatGeoJSON>();
    // Read only.
    formats[QStringLiteral(".kmz")] = std::make_unique<FileFormatKMZ>();
    formats[QStringLiteral(".tcx")] = std::make_unique<FileFormatTCX>();
    formats[QStringLiteral(".fit")] = std::make_unique<FileFormatFIT>();
    formats[QStringLiteral(".igc")] = std::make_unique<FileFormatIGC>();
    // A receiver's log goes by many names; .log and .txt files are read when they hold
    // sentences.
    for (const char *nmea : {".nmea", ".nma", ".log", ".txt"})
        formats[QLatin1String(nmea)] = std::make_unique<FileFormatNMEA>();
}

FileFormats::~FileFormats() = default;

QString FileFormats::readable()
{
    return QStringLiteral(".tkr, .gpx, .kml, .kmz, .tcx, .fit, .geojson (.json), .igc, .nmea "
                          "(.nma, .log, .txt) or .csv");
}

FileFormat *FileFormats::byExtension(const QString &extension) const
{
    const auto it = formats.find(extension);
    return it == formats.end() ? nullptr : it->second.get();
}

FileFormat *FileFormats::forName(const QString &fileName, Qt::CaseSensitivity cs) const
{
    const int dot = int(fileName.lastIndexOf(QLatin1Char('.')));
    if (dot < 0)
        return nullptr;
    const QString extension = fileName.mid(dot);
    return byExtension(cs == Qt::CaseSensitive ? extension : extension.toLower());
}

bool FileFormats::read(QVector<Track> &tracks, const QString &fileName) const
{
    FileFormat *format = forName(fileName);
    return format && format->read(tracks, fileName);
}

bool FileFormats::write(const QVector<Track> &tracks, const QString &fileName,
                        const QList<int> &selection, bool markedOnly) const
{
    return write(tracks, fileName, selection, WriteOptions{markedOnly, false});
}

bool FileFormats::write(const QVector<Track> &tracks, const QString &fileName,
                        const QList<int> &selection, const WriteOptions &options) const
{
    FileFormat *format = forName(fileName);
    return format && format->write(tracks, fileName, selection, options);
}
