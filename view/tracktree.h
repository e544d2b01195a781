#ifndef TRACKTREE_H
#define TRACKTREE_H

#include "analysis/colourvalues.h"
#include "analysis/tripstats.h"
#include "model/trackrecords.h"

#include <QIcon>
#include <QList>
#include <QObject>
#include <QVector>

#include <optional>
#include <utility>
#include <vector>

class DisplayUnits;
class GoogleMapOperator;
class QTreeWidget;
class QTreeWidgetItem;

// The checkable track tree and what it draws on the map: a line per track and the mark
// points of the ticked tracks. The root ticks all; a track's figures stand beside it.
class TrackTree : public QObject
{
    Q_OBJECT

public:
    TrackTree(QTreeWidget *tree, const QVector<Track> *tracks, const DisplayUnits *units,
              GoogleMapOperator *map, QObject *parent = nullptr);

    // Refills the tree and the map's lines from the tracks; the tracks at `ticked` come ticked
    // (and drawn, in one pass), the others not.
    void rebuild(const QList<int> &ticked = {}, bool keepMapView = false);
    QList<int> checkedTrackIndexes() const;
    // The track of the current item (the first for the root); -1 for none.
    int currentTrackIndex() const;
    // The opened files' places of their own (`files`: the file of each), listed after the
    // tracks under a group per file (not ticked: they are always drawn).
    void setWaypoints(const QVector<Waypoint> &places, const QStringList &files);
    // The place an item stands for (a child of the waypoints' group), or null.
    const Waypoint *waypointOf(const QTreeWidgetItem *item) const;
    // A file's group of places, or one of its places.
    bool isWaypointItem(const QTreeWidgetItem *item) const;
    // Ticks an item without fitting the map to the tracks it brings into view.
    void tickKeepingView(QTreeWidgetItem *item);
    // Distance and duration beside each track, once they are worked out.
    void showFigures(const QVector<TripStats> &stats);
    // The tracks' labels, marks and legend again, after the Time or Unit menu changed.
    void relabel();
    // Colours the lines by a value from now on, on the range of the ticked tracks' values
    // or a fixed one (the value's own units).
    void setColouring(ColourBy by, std::optional<std::pair<double, double>> fixed = {});
    ColourBy colouring() const { return colourBy; }

signals:
    // The ticks changed (the statistics follow them).
    void ticksChanged();

private:
    void onItemChanged(QTreeWidgetItem *item);
    void drawTicked(QTreeWidgetItem *parent);
    void addRoot();
    void addWaypoints();
    void label(QTreeWidgetItem *item, int track) const;
    QIcon swatch(int track, bool incomplete) const;
    // The texts of a track's marks on the map, in time order.
    const QStringList &markLabels(int track);
    const std::vector<double> &valuesOf(int track);
    void sendColouring();

    QTreeWidget *tree;
    const QVector<Track> *tracks;
    const DisplayUnits *units;
    GoogleMapOperator *map;
    QTreeWidgetItem *rootItem = nullptr;
    QList<QTreeWidgetItem *> groups; // the places' groups, a file each
    QVector<Waypoint> places;
    QStringList placeFiles;
    // Mark points of each track, in point order (index = track row).
    QVector<QVector<TrackPoint>> markedPoints;
    QVector<QStringList> labels; // their texts, made for `labelsFor`
    TimeShown labelsFor = TimeShown::Utc;
    QVector<bool> marksSent; // the page has the track's marks, in `labelsFor`
    ColourBy colourBy = ColourBy::Track;
    std::optional<std::pair<double, double>> fixedRange;
    QVector<std::vector<double>> values; // each track's, for `colourBy`, made when first shown
    QVector<bool> valuesSent;
    bool linesShown = false; // after the last check pass
    bool keepView = false;   // a double-click keeps its own zoom
    int changing = 0;        // check changes under way (they nest)
};

#endif // TRACKTREE_H
