// The main window's base maps: the Map menu, offline maps and the user's sources.
#include "app/mainwindow.h"
#include "app/mapsourcesdialog.h"
#include "view/mapsource.h"
#include "view/mapwidget.h"

#include <QAction>
#include <QActionGroup>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QSettings>
#include <QStatusBar>

namespace {
QSettings store()
{
    return QSettings(QStringLiteral("Trekmont"), QStringLiteral("LX-300"));
}

bool isOfflineKey(const QString &key)
{
    return key.endsWith(QLatin1String(".mbtiles"), Qt::CaseInsensitive) ||
           key.contains(QLatin1Char('/')) || key.contains(QLatin1Char('\\'));
}
} // namespace

void MainWindow::rebuildMapMenu()
{
    mapMenu->clear();
    auto *group = new QActionGroup(mapMenu);
    QSettings settings = store();
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
    mapMenu->addAction(tr("Open offline map..."), this, &MainWindow::openOfflineMap);
    mapMenu->addAction(tr("Map sources..."), this, &MainWindow::editMapSources);
}

bool MainWindow::chooseMap(const QString &key, bool tell, bool remember)
{
    QSettings settings = store();
    if (isOfflineKey(key)) {
        QString error;
        if (!mapWidget->openOfflineMap(key, &error)) {
            if (tell)
                showMessage(
                    QMessageBox::Warning,
                    tr("Cannot open the offline map %1.").arg(QDir::toNativeSeparators(key)),
                    error);
            rebuildMapMenu(); // the tick goes back to the map still shown
            return false;
        }
        if (remember)
            MapSources::addOfflineFile(settings, key);
    } else {
        QList<MapSource> all = MapSources::builtIn() + MapSources::userSources(settings);
        auto it =
            std::find_if(all.begin(), all.end(), [&](const MapSource &s) { return s.name == key; });
        if (it == all.end()) {
            if (tell)
                showMessage(QMessageBox::Warning, tr("No map source is called %1.").arg(key));
            return false;
        }
        mapWidget->setNetworkSource(*it);
    }
    mapKey = key;
    if (remember)
        settings.setValue(QStringLiteral("map/source"), key);
    rebuildMapMenu();
    return true;
}

void MainWindow::restoreMap()
{
    QSettings settings = store();
    const QString key = settings.value(QStringLiteral("map/source")).toString();
    mapKey = MapSources::builtIn().first().name;
    // A map that cannot come back (its file gone) leaves the default in place.
    if (!key.isEmpty() && !chooseMap(key, false, false))
        statusBar()->showMessage(tr("The map %1 cannot be opened; showing %2.").arg(key, mapKey));
    rebuildMapMenu();
    if (settings.contains(QStringLiteral("map/zoom")))
        mapWidget->setMapView(settings.value(QStringLiteral("map/lat")).toDouble(),
                              settings.value(QStringLiteral("map/lng")).toDouble(),
                              settings.value(QStringLiteral("map/zoom")).toInt());
}

void MainWindow::openOfflineMap()
{
    const QString file = QFileDialog::getOpenFileName(this, tr("Open offline map"), directory,
                                                      tr("MBTiles map (*.mbtiles);;All files (*)"));
    if (!file.isEmpty())
        chooseMap(file, true, true);
}

void MainWindow::editMapSources()
{
    QSettings settings = store();
    MapSourcesDialog dialog(MapSources::userSources(settings), this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    MapSources::setUserSources(settings, dialog.sources());
    // A source removed while shown gives way to the default.
    if (!isOfflineKey(mapKey) && !chooseMap(mapKey, false, false))
        chooseMap(MapSources::builtIn().first().name, true, true);
    rebuildMapMenu();
}
