#ifndef POINTLIST_H
#define POINTLIST_H

#include "analysis/pointfilter.h"
#include "model/trackrecords.h"

#include <QObject>

#include <QVector>
#include <optional>

class DisplayUnits;
class GoogleMapOperator;
class PlaybackThread;
class PointListModel;
class ProfileChart;
class QComboBox;
class QModelIndex;
class QTreeView;

// The points of the current track below the map: the list, its filter, the profile beside it
// and playback, which walks the list on the map.
class PointList : public QObject
{
    Q_OBJECT

public:
    PointList(QTreeView *view, PointListModel *model, ProfileChart *profile, QComboBox *axis,
              const DisplayUnits *units, GoogleMapOperator *map, QObject *parent = nullptr);
    ~PointList() override;

    // Lists the points of `track` (none for null) the filter keeps; nullopt: the filter in
    // force. `recenter`: the map goes to the first point listed (a track chosen), else it
    // stays put. `sizeColumns`: the columns fit the texts again (not after an edit of the
    // track listed, whose texts are as wide as before: sizing lays out every row).
    void show(const Track *track, std::optional<PointFilter> filter, bool recenter = true,
              bool sizeColumns = true);
    void clear();
    // Lets go of the listed points without drawing anything (show() follows): an edit then
    // changes the track's points in place instead of copying the ones still shared here.
    void releasePoints();

    // The listed points, and the row playback starts from.
    const QVector<TrackPoint> &listedPoints() const { return playPoints; }
    // The filter in force, and how many points the listed track has.
    const PointFilter &filter() const { return inForce; }
    int listedTrackPoints() const { return trackPoints; }
    int playbackStart() const { return playStart; }

    // The points selected in the list, as indexes in their track, ascending.
    QVector<int> selectedPointIndexes() const;
    // The first and last point selected; nullopt for fewer than two rows.
    std::optional<std::pair<int, int>> selectedSpan() const;
    // Selects the listed rows of the points from `from` to `to` (indexes in the track).
    void selectPoints(int from, int to);

    void startPlayback();
    void stopPlayback();
    void rewindPlayback();
    void setSpeed(int step);
    // A row double-clicked: the map goes to it and playback starts there.
    void goToRow(const QModelIndex &index);

signals:
    // A playback run has ended (finished, stopped or paused).
    void playThreadFinished();
    // The rows selected changed.
    void selectionChanged();

private:
    void showPointAndSelectInfo(int index);
    void pickPoint(int row, bool clicked);

    QTreeView *view;
    PointListModel *model;
    ProfileChart *profile;
    const DisplayUnits *units;
    GoogleMapOperator *map;
    QVector<TrackPoint> playPoints;
    PointFilter inForce;
    int trackPoints = 0;
    PlaybackThread *playbackThread = nullptr;
    int playStart = 0;
    int playSpeed = 0;
    int playbackRun = 0;
};

#endif // POINTLIST_H
