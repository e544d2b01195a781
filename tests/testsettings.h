#ifndef TESTSETTINGS_H
#define TESTSETTINGS_H

#include <QByteArray>
#include <QSettings>
#include <QTemporaryDir>

// Points the settings store at a temporary folder of this test process, so a
// test never reads or writes the user's real preferences. Call it before the
// application object exists (QtTest's initMain) and before any QSettings.
inline QString redirectSettingsStore()
{
    static QTemporaryDir dir;
    qputenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.path());
    return dir.path();
}

#endif // TESTSETTINGS_H
