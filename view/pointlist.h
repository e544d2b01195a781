#ifndef POINTLIST_H
#define POINTLIST_H

#include "model/trackrecords.h"

#include <QObject>
#include <QVector>

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

    // Lists the points of `track` (none for null) the rule keeps: -1 all, 1..5 speed >, >=, =,
    // <, <= threshold (km/h), 6 mark points, 0 the rule in force.
    // `recenter`: the map goes to the first point listed (a track chosen), else it stays put.
    void show(const Track *track, float threshold, int rule, bool recenter = true);
    void clear();

    // The listed points, and the row playback starts from.
    const QVector<TrackPoint> &listedPoints() const { return playPoints; }
    // The rule in force (-1 all points, 1..5 a speed comparison, 6 mark points), its
    // threshold in km/h, and how many points the listed track has.
    int rule() const { return filterRule; }
    float thresholdKmh() const { return filterThreshold / 100.0f; }
    int listedTrackPoints() const { return trackPoints; }
    int playbackStart() const { return playStart; }

    void startPlayback();
    void stopPlayback();
    void rewindPlayback();
    void setSpeed(int step);
    // A row double-clicked: the map goes to it and playback starts there.
    void goToRow(const QModelIndex &index);

signals:
    // A playback run has ended (finished, stopped or paused).
    void playThreadFinished();

private:
    void showPointAndSelectInfo(int index);
    void pickPoint(int row, bool clicked);

    QTreeView *view;
    PointListModel *model;
    ProfileChart *profile;
    const DisplayUnits *units;
    GoogleMapOperator *map;
    QVector<TrackPoint> playPoints;
    float filterThreshold = -1.0f;
    int trackPoints = 0;
    int filterRule = -1;
    PlaybackThread *playbackThread = nullptr;
    int playStart = 0;
    int playSpeed = 0;
    int playbackRun = 0;
};

#endif // POINTLIST_H
