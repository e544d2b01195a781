#ifndef MAPMENU_H
#define MAPMENU_H

#include <QObject>
#include <QString>

class MapWidget;
class QMenu;
class QWidget;
class SettingsStore;

// The Map menu: the built-in and the user's map sources, the offline maps opened before,
// "Open offline map..." and "Map sources...". A key is a network source's name or an
// offline map's file path.
class MapMenu : public QObject
{
    Q_OBJECT

public:
    MapMenu(MapWidget *map, SettingsStore *store, QString *directory, QWidget *window);

    QMenu *menu() const { return mapMenu; }
    // `tell` reports a failure in a message; `remember` keeps the choice for the next start.
    bool chooseMap(const QString &key, bool tell, bool remember);
    // The map of the last run; one that cannot come back leaves the default and says so.
    // Returns that note, empty when there is none.
    QString restoreMap();

private:
    void rebuild();
    void openOfflineMap();
    void editMapSources();

    MapWidget *map;
    SettingsStore *store;
    QString *directory;
    QWidget *window;
    QMenu *mapMenu;
    QString mapKey;
};

#endif // MAPMENU_H
