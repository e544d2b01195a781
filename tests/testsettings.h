#ifndef TESTSETTINGS_H
#define TESTSETTINGS_H

#include <QByteArray>
#include <QCoreApplication>
#include <QSettings>
#include <QTemporaryDir>

#include "view/mbtiles.h"

// Points the settings store at a temporary folder of this test process, so a
// test never reads or writes the user's real preferences. Call it before the
// application object exists (QtTest's initMain) and before any QSettings.
inline QString redirectSettingsStore()
{
    static QTemporaryDir dir;
    qputenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit());
    // The map's web profile keeps its cache and data under these.
    qputenv("XDG_DATA_HOME", (dir.path() + QStringLiteral("/data")).toLocal8Bit());
    qputenv("XDG_CACHE_HOME", (dir.path() + QStringLiteral("/cache")).toLocal8Bit());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.path());
    return dir.path();
}

// Everything a test of the window needs before its application object exists.
inline void prepareGuiTest()
{
    redirectSettingsStore();
    MbTilesSchemeHandler::registerScheme();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

#endif // TESTSETTINGS_H
