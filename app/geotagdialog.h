#ifndef GEOTAGDIALOG_H
#define GEOTAGDIALOG_H

#include "geotag/geotagger.h"

#include <QDialog>
#include <QFutureWatcher>
#include <QImage>
#include <QSet>

#include <memory>
#include <optional>

class MapWidget;
class QCheckBox;
class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTableWidget;

// File > Geotag photos: the photos chosen (files, a folder, or dropped on the dialog) placed
// on the ticked tracks (all when none is ticked) with the camera's offset, previewed in a
// table and on the map, where they move as the offset changes. Nothing is written before
// Write, which works off the GUI thread and can be cancelled. Not modal: a click on a track's
// line on the map picks the point "This photo was taken here" uses.
class GeotagDialog : public QDialog
{
    Q_OBJECT

public:
    GeotagDialog(const QVector<Track> *tracks, const QList<int> &used, MapWidget *map,
                 QWidget *parent = nullptr);
    ~GeotagDialog() override;

    // Adds photo files, and the photos of folders; read off the GUI thread.
    void addPhotos(const QStringList &paths);
    // The camera's offset in seconds; nullopt for the computer's time zone.
    std::optional<int> offset() const;
    void setOffset(std::optional<int> seconds);
    bool isBusy() const;
    // The window's tracks were replaced or added to: the photos are placed on all of them
    // (once a write under way has ended, with what it showed).
    void tracksChanged();

signals:
    // The photos added last are read and shown.
    void photosRead();
    // A write has ended (done or cancelled).
    void written();
    // The window was closed where it stands now (its saveGeometry()).
    void closed(const QByteArray &geometry);

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    struct Read
    {
        PhotoMeta::Photo photo;
        QImage thumbnail;
        QString dataUrl;
    };
    static Read readPhoto(const QString &file);

    void buildForm();
    Geotag::Options options() const;
    void readFinished();
    void replan();
    void showRow(int row);
    void showOnMap();
    void estimate();
    void takenHere();
    void pointPicked(int track, int point);
    void write();
    void writeFinished();
    void setBusy(bool busy);
    // The offset the controls hold, as one value, when the zone alone does not say it.
    void showOffsetTotal();
    // Photos planned for a position and not yet written in this window.
    int toWrite() const;

    const QVector<Track> *tracks;
    MapWidget *map;
    std::unique_ptr<Geotag::Timeline> timeline;

    QVector<Read> photos;
    QVector<Geotag::Result> results;
    QVector<bool> thumbnailSent;
    std::optional<qint64> pickedMs;
    bool replanWhenDone = false;
    bool applyingOffset = false; // the controls set from an estimate or a picked point
    QSet<QString> writtenFiles;  // written in this window: kept as written, not planned again
    QFutureWatcher<Read> readWatcher;
    QFutureWatcher<Geotag::Result> writeWatcher;

    QTableWidget *table = nullptr;
    QComboBox *zoneBox = nullptr;
    QSpinBox *driftBox = nullptr;
    QSpinBox *gapBox = nullptr;
    QCheckBox *replaceBox = nullptr;
    QCheckBox *sidecarBox = nullptr;
    QLabel *offsetNote = nullptr;
    QLabel *offsetTotal = nullptr;
    QLabel *summaryLabel = nullptr;
    QProgressBar *progress = nullptr;
    QPushButton *addFilesButton = nullptr;
    QPushButton *addFolderButton = nullptr;
    QPushButton *estimateButton = nullptr;
    QPushButton *hereButton = nullptr;
    QPushButton *writeButton = nullptr;
    QPushButton *cancelButton = nullptr;
};

#endif // GEOTAGDIALOG_H
