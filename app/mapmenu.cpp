#include "app/mapmenu.h"

#include "app/mapsourcesdialog.h"
#include "app/settingsstore.h"
#include "view/mapsource.h"
#include "view/mapwidget.h"

#include <QAction>
#include <QActionGroup>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>

namespace {
bool isOfflineKey(const QString &key)
{
    return key.endsWith(QLatin1String(".mbtiles"), Qt::CaseInsensitive) ||
           key.contains(QLatin1Char('/')) || key.contains(QLatin1Char('\\'));
}
} // namespace

MapMenu::MapMenu(MapWidget *map, SettingsStore *store, QString *directory, QWidget *window)
    : QObject(window), map(map), store(store), directory(directory), window(window)
{
    mapMenu = new QMenu(tr("&Map"), window);
    mapMenu->setObjectName(QStringLiteral("mapMenu"));
    mapKey = MapSources::builtIn().first().name;
    rebuild();
}

void MapMenu::rebuild()
{
    mapMenu->clear();
    auto *group = new QActionGroup(mapMenu);
    QSettings &settings = store->settings();
    const auto add = [&](const QString &text, const QString &key) {
        QAction *a = mapMenu->addAction(text);
        a->setCheckable(true);
        a->setChecked(key == mapKey);
        a->setData(key);
        group->addAction(a);
        connect(a, &QAction::triggered, this, [this, key] { chooseMap(key, true, true); });
    };
    for (const MapSource &s : MapSources::builtIn())
        add(s.name, s.name);
    const QList<MapSource> own = MapSources::userSources(settings);
    if (!own.isEmpty())
        mapMenu->addSeparator();
    for (const MapSource &s : own)
        add(s.name, s.name);
    const QStringList files = MapSources::offlineFiles(settings);
    if (!files.isEmpty())
        mapMenu->addSeparator();
    for (const QString &f : files)
        add(tr("%1 (offline)").arg(QFileInfo(f).fileName()), f);
    mapMenu->addSeparator();
    mapMenu->addAction(tr("Open offline map..."), this, &MapMenu::openOfflineMap);
    mapMenu->addAction(tr("Map sources..."), this, &MapMenu::editMapSources);
}

bool MapMenu::chooseMap(const QString &key, bool tell, bool remember)
{
    QSettings &settings = store->settings();
    if (isOfflineKey(key)) {
        QString error;
        if (!map->openOfflineMap(key, &error)) {
            // A file built to hold SQLite up is not offered again, nor opened at the next start.
            if (error.contains(QLatin1String("took longer")) ||
                error.contains(QLatin1String("a view"))) {
                MapSources::removeOfflineFile(settings, key);
                if (store->mapSource() == key)
                    store->setMapSource(MapSources::builtIn().first().name);
                error += QLatin1Char(' ') + tr("It was removed from the Map menu.");
            }
            if (tell) {
                QMessageBox box(
                    QMessageBox::Warning, QString(),
                    tr("Cannot open the offline map %1.").arg(QDir::toNativeSeparators(key)),
                    QMessageBox::Ok, window);
                box.setInformativeText(error);
                box.exec();
            }
            rebuild(); // the tick goes back to the map still shown
            return false;
        }
        if (remember)
            MapSources::addOfflineFile(settings, key);
    } else {
        QList<MapSource> all = MapSources::builtIn() + MapSources::userSources(settings);
        auto it =
            std::find_if(all.begin(), all.end(), [&](const MapSource &s) { return s.name == key; });
        if (it == all.end()) {
            if (tell) {
                QMessageBox box(QMessageBox::Warning, QString(),
                                tr("No map source is called %1.").arg(key), QMessageBox::Ok,
                                window);
                box.exec();
            }
            return false;
        }
        map->setNetworkSource(*it);
    }
    mapKey = key;
    if (remember)
        store->setMapSource(key);
    rebuild();
    return true;
}

QString MapMenu::restoreMap()
{
    const QString key = store->mapSource();
    mapKey = MapSources::builtIn().first().name;
    QString note;
    // A map that cannot come back (its file gone, or refused) leaves the default in place.
    if (!key.isEmpty() && !chooseMap(key, false, false))
        note = tr("The map %1 cannot be opened; showing %2.").arg(key, mapKey);
    rebuild();
    return note;
}

void MapMenu::openOfflineMap()
{
    const QString file = QFileDialog::getOpenFileName(window, tr("Open offline map"), *directory,
                                                      tr("MBTiles map (*.mbtiles);;All files (*)"));
    if (!file.isEmpty())
        chooseMap(file, true, true);
}

void MapMenu::editMapSources()
{
    QSettings &settings = store->settings();
    MapSourcesDialog dialog(MapSources::userSources(settings), window);
    if (dialog.exec() != QDialog::Accepted)
        return;
    MapSources::setUserSources(settings, dialog.sources());
    // A source removed while shown gives way to the default.
    if (!isOfflineKey(mapKey) && !chooseMap(mapKey, false, false))
        chooseMap(MapSources::builtIn().first().name, true, true);
    rebuild();
}
