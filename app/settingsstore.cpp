#include "app/settingsstore.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>

namespace {
const QString RecentFiles = QStringLiteral("recentFiles");
constexpr int RecentFilesKept = 10;
} // namespace

SettingsStore::SettingsStore()
    : store(std::make_unique<QSettings>(QStringLiteral("Trekmont"), QStringLiteral("LX-300")))
{
    const QString file = store->fileName();
    for (const QString &path : {file, file + QStringLiteral(".lock")}) {
        const QFileInfo info(path);
        if (info.exists() && !info.isFile())
            problem = QStringLiteral("%1 is not a regular file").arg(path);
    }
    if (problem.isEmpty())
        return;
    // Read from a copy, which takes this run's changes and is then dropped.
    QTemporaryFile copy;
    copy.setAutoRemove(false);
    QFile original(file);
    if (copy.open()) {
        if (QFileInfo(file).isFile() && original.open(QIODevice::ReadOnly))
            copy.write(original.read(qint64(1) << 20));
        scratchFile = copy.fileName();
        copy.close();
    }
    store = std::make_unique<QSettings>(scratchFile, QSettings::IniFormat);
}

SettingsStore::~SettingsStore()
{
    if (!scratchFile.isEmpty()) {
        store.reset();
        QFile::remove(scratchFile);
    }
}

Preferences SettingsStore::read()
{
    Preferences p;
    p.geometry = store->value(QStringLiteral("geometry")).toByteArray();
    p.directory = store->value(QStringLiteral("directory"), QDir::homePath()).toString();
    p.speed =
        store->value(QStringLiteral("speedUnit"), 0).toInt() != 0 ? SpeedUnit::Mph : SpeedUnit::Kmh;
    p.height = store->value(QStringLiteral("heightUnit"), 0).toInt() != 0 ? HeightUnit::Feet
                                                                          : HeightUnit::Metres;
    p.time = store->value(QStringLiteral("timeSwitch"), 1).toInt() == 1 ? TimeShown::Local
                                                                        : TimeShown::Utc;
    p.geotagGeometry = store->value(QStringLiteral("geotagGeometry")).toByteArray();
    p.libraryFolder = store->value(QStringLiteral("library/folder")).toString();
    p.colourBy = ColourValues::fromKey(store->value(QStringLiteral("map/colourBy")).toString());
    if (store->contains(QStringLiteral("map/zoom"))) {
        p.mapLat = store->value(QStringLiteral("map/lat")).toDouble();
        p.mapLng = store->value(QStringLiteral("map/lng")).toDouble();
        p.mapZoom = store->value(QStringLiteral("map/zoom")).toInt();
    }
    return p;
}

void SettingsStore::write(const Preferences &p)
{
    store->setValue(QStringLiteral("geometry"), p.geometry);
    store->setValue(QStringLiteral("directory"), p.directory);
    store->setValue(QStringLiteral("speedUnit"), int(p.speed));
    store->setValue(QStringLiteral("heightUnit"), int(p.height));
    store->setValue(QStringLiteral("timeSwitch"), int(p.time));
    if (!p.geotagGeometry.isEmpty())
        store->setValue(QStringLiteral("geotagGeometry"), p.geotagGeometry);
    store->setValue(QStringLiteral("map/colourBy"), ColourValues::key(p.colourBy));
    if (!p.libraryFolder.isEmpty())
        store->setValue(QStringLiteral("library/folder"), p.libraryFolder);
    if (p.mapZoom >= 0) {
        store->setValue(QStringLiteral("map/lat"), p.mapLat);
        store->setValue(QStringLiteral("map/lng"), p.mapLng);
        store->setValue(QStringLiteral("map/zoom"), p.mapZoom);
    }
}

QStringList SettingsStore::recentFiles()
{
    return store->value(RecentFiles).toStringList();
}

void SettingsStore::addRecentFile(const QString &file)
{
    QStringList recent = recentFiles();
    recent.removeAll(file);
    recent.prepend(file);
    store->setValue(RecentFiles, recent.mid(0, RecentFilesKept));
}

void SettingsStore::clearRecentFiles()
{
    store->remove(RecentFiles);
}

QString SettingsStore::mapSource()
{
    return store->value(QStringLiteral("map/source")).toString();
}

void SettingsStore::setMapSource(const QString &key)
{
    store->setValue(QStringLiteral("map/source"), key);
}
