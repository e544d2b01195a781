#ifndef SETTINGSSTORE_H
#define SETTINGSSTORE_H

#include "analysis/colourvalues.h"
#include "model/units.h"

#include <QByteArray>
#include <QSettings>
#include <QString>
#include <QStringList>

#include <memory>

// What the window keeps between runs, as one value.
struct Preferences
{
    QByteArray geometry;       // empty: the window opens maximised
    QByteArray geotagGeometry; // the geotag window's; empty: beside the map
    QString directory;         // the last folder of a file dialog
    QString libraryFolder;     // "library/folder": the track library; empty until chosen
    SpeedUnit speed = SpeedUnit::Kmh;
    HeightUnit height = HeightUnit::Metres;
    TimeShown time = TimeShown::Local;
    ColourBy colourBy = ColourBy::Track; // "map/colourBy"
    // The last map view the page reported; zoom -1 when there is none to keep.
    double mapLat = 0.0, mapLng = 0.0;
    int mapZoom = -1;
};

// The one way into the program's settings store (organisation "Trekmont", application
// "LX-300"): the preferences, the recent files, and the group the map sources live in.
class SettingsStore
{
public:
    SettingsStore();
    ~SettingsStore();
    SettingsStore(const SettingsStore &) = delete;
    SettingsStore &operator=(const SettingsStore &) = delete;

    // Stored numbers other than the defaults' read as miles, feet and UTC.
    Preferences read();
    // Written in the order the program always wrote them; the map view only when there is one.
    void write(const Preferences &prefs);

    QStringList recentFiles();
    // Puts `file` first, keeping ten.
    void addRecentFile(const QString &file);
    void clearRecentFiles();

    QString mapSource();
    void setMapSource(const QString &key);

    // For the map sources' own keys under "map/".
    QSettings &settings() { return *store; }

    // Why the preferences cannot be saved (the store's file, or its lock file, is not a
    // regular file: a folder, a FIFO, a link to a device); empty when they can. They are
    // then read as they are and kept for this run only, so nothing waits on a lock that
    // cannot be taken and nothing but a file is ever replaced.
    QString cannotSave() const { return problem; }

private:
    std::unique_ptr<QSettings> store;
    QString problem;
    QString scratchFile; // the copy used when the store cannot be saved
};

#endif // SETTINGSSTORE_H
