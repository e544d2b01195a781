#include "app/geotagdialog.h"

#include "view/mapwidget.h"

#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDragEnterEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImageReader>
#include <QJsonArray>
#include <QLabel>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QtConcurrent>

#include <cmath>

namespace {
enum Column
{
    Picture,
    File,
    Time,
    Outcome,
    Latitude,
    Longitude,
    Altitude,
    Columns
};
constexpr int ThumbnailSize = 160;
constexpr int Zones = (14 + 12) * 4 + 1; // UTC-12:00 to UTC+14:00 in quarter hours

QString utcText(qint64 ms)
{
    return ms ? QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC)
                    .toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"))
              : QString();
}
} // namespace

GeotagDialog::GeotagDialog(const QVector<Track> *tracks, const QList<int> &used, MapWidget *map,
                           QWidget *parent)
    : QDialog(parent), tracks(tracks), map(map)
{
    setObjectName(QStringLiteral("geotagDialog"));
    setWindowTitle(tr("Geotag photos"));
    setAcceptDrops(true);
    QVector<Track> chosen;
    for (int i : used)
        chosen << tracks->at(i);
    timeline = std::make_unique<Geotag::Timeline>(chosen.isEmpty() ? *tracks : chosen);
    buildForm();
    connect(&readWatcher, &QFutureWatcher<Read>::finished, this, &GeotagDialog::readFinished);
    connect(&writeWatcher, &QFutureWatcher<Geotag::Result>::resultReadyAt, this, [this](int i) {
        const Geotag::Result r = writeWatcher.resultAt(i);
        for (int row = 0; row < results.size(); ++row) {
            if (results[row].photo.file != r.photo.file)
                continue;
            results[row] = r;
            showRow(row);
            // Written: the photo has that position now, whatever is planned next.
            PhotoMeta::Photo &p = photos[row].photo;
            if (Geotag::isTagged(r.outcome)) {
                (r.sidecar ? p.sidecarPosition : p.hasPosition) = true;
                p.latitude = r.fix.latitude;
                p.longitude = r.fix.longitude;
            }
        }
    });
    connect(&writeWatcher, &QFutureWatcher<Geotag::Result>::progressValueChanged, progress,
            &QProgressBar::setValue);
    connect(&readWatcher, &QFutureWatcher<Read>::progressValueChanged, progress,
            &QProgressBar::setValue);
    connect(&writeWatcher, &QFutureWatcher<Geotag::Result>::finished, this,
            &GeotagDialog::writeFinished);
    connect(map, &MapWidget::trackPointPicked, this, &GeotagDialog::pointPicked);
}

GeotagDialog::~GeotagDialog()
{
    // A write in progress ends at the photo it is on; none is left half written.
    writeWatcher.cancel();
    writeWatcher.waitForFinished();
    readWatcher.cancel();
    readWatcher.waitForFinished();
}

void GeotagDialog::buildForm()
{
    auto *layout = new QVBoxLayout(this);
    auto *photoRow = new QHBoxLayout;
    addFilesButton = new QPushButton(tr("Add photos…"));
    addFolderButton = new QPushButton(tr("Add a folder…"));
    auto *clearButton = new QPushButton(tr("Clear"));
    photoRow->addWidget(addFilesButton);
    photoRow->addWidget(addFolderButton);
    photoRow->addWidget(clearButton);
    photoRow->addStretch(1);
    photoRow->addWidget(new QLabel(tr("or drop photos here")));
    layout->addLayout(photoRow);

    table = new QTableWidget(0, Columns);
    table->setObjectName(QStringLiteral("previewTable"));
    table->setHorizontalHeaderLabels({QString(), tr("Photo"), tr("Taken (UTC)"), tr("Outcome"),
                                      tr("Latitude"), tr("Longitude"), tr("Altitude")});
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setIconSize(QSize(48, 48));
    table->verticalHeader()->setDefaultSectionSize(52);
    table->horizontalHeader()->setStretchLastSection(true);
    const int number = table->fontMetrics().horizontalAdvance(QStringLiteral("-179.0000000"));
    table->setColumnWidth(Latitude, number);
    table->setColumnWidth(Longitude, number);
    layout->addWidget(table, 1);

    auto *form = new QFormLayout;
    auto *clockRow = new QHBoxLayout;
    zoneBox = new QComboBox;
    zoneBox->setObjectName(QStringLiteral("zoneBox"));
    zoneBox->addItem(tr("This computer's time zone"));
    for (int q = 0; q < Zones; ++q) {
        const int seconds = (q - 12 * 4) * 900;
        zoneBox->addItem(QStringLiteral("UTC") + Geotag::offsetText(seconds), seconds);
    }
    driftBox = new QSpinBox;
    driftBox->setObjectName(QStringLiteral("driftBox"));
    driftBox->setRange(-43200, 43200);
    driftBox->setSuffix(tr(" s"));
    driftBox->setEnabled(false);
    estimateButton = new QPushButton(tr("Estimate"));
    estimateButton->setObjectName(QStringLiteral("estimateButton"));
    estimateButton->setToolTip(tr("From photos that already have a position (a phone's, "
                                  "say): where the tracks passed them against their clocks."));
    hereButton = new QPushButton(tr("This photo was taken here"));
    hereButton->setObjectName(QStringLiteral("hereButton"));
    hereButton->setToolTip(tr("Select a photo, click on a track's line on the map where it "
                              "was taken, then press this."));
    hereButton->setEnabled(false);
    clockRow->addWidget(zoneBox);
    clockRow->addWidget(new QLabel(tr("and")));
    clockRow->addWidget(driftBox);
    offsetTotal = new QLabel;
    offsetTotal->setObjectName(QStringLiteral("offsetTotal"));
    clockRow->addWidget(offsetTotal);
    clockRow->addWidget(estimateButton);
    clockRow->addWidget(hereButton);
    clockRow->addStretch(1);
    form->addRow(tr("Camera clock:"), clockRow);
    offsetNote = new QLabel;
    offsetNote->setObjectName(QStringLiteral("offsetNote"));
    offsetNote->setWordWrap(true);
    form->addRow(QString(), offsetNote);
    auto *optionRow = new QHBoxLayout;
    gapBox = new QSpinBox;
    gapBox->setRange(0, 86400);
    gapBox->setValue(1800);
    gapBox->setSuffix(tr(" s"));
    replaceBox = new QCheckBox(tr("Replace positions photos already have"));
    sidecarBox = new QCheckBox(tr("Write XMP sidecars for every photo"));
    optionRow->addWidget(gapBox);
    optionRow->addWidget(replaceBox);
    optionRow->addWidget(sidecarBox);
    optionRow->addStretch(1);
    form->addRow(tr("Longest gap:"), optionRow);
    layout->addLayout(form);

    auto *bottom = new QHBoxLayout;
    summaryLabel = new QLabel;
    summaryLabel->setObjectName(QStringLiteral("summaryLabel"));
    summaryLabel->setWordWrap(true);
    progress = new QProgressBar;
    progress->setVisible(false);
    writeButton = new QPushButton(tr("Write"));
    writeButton->setObjectName(QStringLiteral("writeButton"));
    writeButton->setEnabled(false);
    cancelButton = new QPushButton(tr("Cancel"));
    cancelButton->setObjectName(QStringLiteral("cancelButton"));
    cancelButton->setVisible(false);
    auto *closeButton = new QPushButton(tr("Close"));
    bottom->addWidget(summaryLabel, 1);
    bottom->addWidget(progress);
    bottom->addWidget(cancelButton);
    bottom->addWidget(writeButton);
    bottom->addWidget(closeButton);
    layout->addLayout(bottom);
    resize(900, 560);

    connect(addFilesButton, &QPushButton::clicked, this, [this] {
        addPhotos(QFileDialog::getOpenFileNames(
            this, tr("Photos"), QString(),
            tr("Photos (*.jpg *.jpeg *.tif *.tiff *.png *.webp *.heic *.cr2 *.cr3 *.nef *.arw "
               "*.orf *.rw2 *.raf *.dng *.pef *.srw);;All files (*)")));
    });
    connect(addFolderButton, &QPushButton::clicked, this, [this] {
        const QString folder = QFileDialog::getExistingDirectory(this, tr("A folder of photos"));
        if (!folder.isEmpty())
            addPhotos({folder});
    });
    connect(clearButton, &QPushButton::clicked, this, [this] {
        photos.clear();
        results.clear();
        thumbnailSent.clear();
        writtenFiles.clear();
        table->setRowCount(0);
        map->clearPhotos();
        replan();
    });
    connect(zoneBox, &QComboBox::currentIndexChanged, this, [this](int index) {
        driftBox->setEnabled(index > 0);
        if (!applyingOffset)
            offsetNote->clear(); // it spoke of the offset that was
        replan();
    });
    connect(driftBox, &QSpinBox::valueChanged, this, [this] {
        if (!applyingOffset)
            offsetNote->clear();
        replan();
    });
    connect(gapBox, &QSpinBox::valueChanged, this, &GeotagDialog::replan);
    connect(replaceBox, &QCheckBox::toggled, this, &GeotagDialog::replan);
    connect(sidecarBox, &QCheckBox::toggled, this, &GeotagDialog::replan);
    connect(estimateButton, &QPushButton::clicked, this, &GeotagDialog::estimate);
    connect(hereButton, &QPushButton::clicked, this, &GeotagDialog::takenHere);
    connect(table, &QTableWidget::itemSelectionChanged, this, [this] {
        hereButton->setEnabled(!isBusy() && pickedMs && table->currentRow() >= 0);
        const QList<QTableWidgetItem *> selected = table->selectedItems();
        this->map->focusPhoto(selected.isEmpty() ? -1 : selected.first()->row());
    });
    connect(writeButton, &QPushButton::clicked, this, &GeotagDialog::write);
    connect(cancelButton, &QPushButton::clicked, this, [this] {
        readWatcher.cancel(); // the photos read so far are kept
        writeWatcher.cancel();
    });
    connect(closeButton, &QPushButton::clicked, this, &QDialog::close);
}

std::optional<int> GeotagDialog::offset() const
{
    if (zoneBox->currentIndex() <= 0)
        return std::nullopt;
    return zoneBox->currentData().toInt() + driftBox->value();
}

void GeotagDialog::setOffset(std::optional<int> seconds)
{
    applyingOffset = true;
    if (!seconds) {
        zoneBox->setCurrentIndex(0);
        driftBox->setValue(0);
    } else {
        // The nearest quarter hour is the zone, the rest the clock's drift.
        const int zone =
            std::clamp(int(std::lround(*seconds / 900.0)) * 900, -12 * 3600, 14 * 3600);
        const QSignalBlocker blocker(driftBox);
        zoneBox->setCurrentIndex(zoneBox->findData(zone));
        driftBox->setValue(*seconds - zone);
        replan();
    }
    applyingOffset = false;
}

void GeotagDialog::showOffsetTotal()
{
    const std::optional<int> total = offset();
    offsetTotal->setText(total && driftBox->value() != 0
                             ? tr("= UTC%1").arg(Geotag::offsetText(*total))
                             : QString());
}

bool GeotagDialog::isBusy() const
{
    return readWatcher.isRunning() || writeWatcher.isRunning();
}

Geotag::Options GeotagDialog::options() const
{
    Geotag::Options o;
    o.offsetS = offset();
    o.maxGapS = gapBox->value();
    o.replace = replaceBox->isChecked();
    o.sidecarAlways = sidecarBox->isChecked();
    Geotag::sidecarsOnly(&o); // without ExifTool; said once when the dialog opens
    return o;
}

GeotagDialog::Read GeotagDialog::readPhoto(const QString &file)
{
    Read r;
    r.photo = PhotoMeta::read(file);
    if (!r.photo.readable)
        return r;
    QImageReader reader(file);
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    if (size.isValid())
        reader.setScaledSize(size.scaled(ThumbnailSize, ThumbnailSize, Qt::KeepAspectRatio));
    r.thumbnail = reader.read();
    if (!r.thumbnail.isNull()) {
        QBuffer jpeg;
        jpeg.open(QIODevice::WriteOnly);
        r.thumbnail.save(&jpeg, "JPEG", 80);
        r.dataUrl =
            QStringLiteral("data:image/jpeg;base64,") + QString::fromLatin1(jpeg.data().toBase64());
    }
    return r;
}

void GeotagDialog::addPhotos(const QStringList &paths)
{
    if (isBusy() || paths.isEmpty())
        return;
    QStringList files = Geotag::photoFiles(paths, false);
    for (const Read &r : qAsConst(photos))
        files.removeAll(r.photo.file);
    if (files.isEmpty())
        return;
    setBusy(true);
    summaryLabel->setText(tr("Reading %n photo(s)…", nullptr, int(files.size())));
    progress->setRange(0, int(files.size()));
    progress->setValue(0);
    progress->setFormat(tr("%v of %m"));
    progress->setVisible(true);
    cancelButton->setVisible(true);
    readWatcher.setFuture(QtConcurrent::mapped(files, &GeotagDialog::readPhoto));
}

void GeotagDialog::readFinished()
{
    // After a Cancel, the photos read so far (in the order they were given).
    QList<Read> read;
    for (int i = 0; i < progress->maximum(); ++i)
        if (readWatcher.future().isResultReadyAt(i))
            read << readWatcher.future().resultAt(i);
    progress->setVisible(false);
    cancelButton->setVisible(false);
    for (const Read &r : read) {
        photos << r;
        thumbnailSent << false;
        const int row = table->rowCount();
        table->insertRow(row);
        auto *picture = new QTableWidgetItem;
        if (!r.thumbnail.isNull())
            picture->setIcon(QIcon(QPixmap::fromImage(r.thumbnail)));
        table->setItem(row, Picture, picture);
        table->setItem(row, File, new QTableWidgetItem(QFileInfo(r.photo.file).fileName()));
        table->item(row, File)->setToolTip(r.photo.file);
    }
    setBusy(false);
    replan();
    for (int c : {Picture, File, Time})
        table->resizeColumnToContents(c);
    emit photosRead();
}

void GeotagDialog::replan()
{
    const Geotag::Options o = options();
    results.resize(photos.size());
    QStringList files;
    for (const Read &r : qAsConst(photos))
        files << r.photo.file;
    const QHash<QString, QString> sidecars = Geotag::separateSidecars(files, o);
    Geotag::Summary summary;
    for (int i = 0; i < photos.size(); ++i) {
        PhotoMeta::Photo photo = photos[i].photo;
        if (writtenFiles.contains(photo.file)) {
            summary.add(results[i].outcome); // as written
            continue;
        }
        const QFileInfo info(photo.file);
        PhotoMeta::useSidecar(
            &photo, sidecars.value(photo.file, info.dir().filePath(info.completeBaseName() +
                                                                   QStringLiteral(".xmp"))));
        results[i] = Geotag::plan(photo, *timeline, o);
        summary.add(results[i].outcome);
        showRow(i);
    }
    writeButton->setEnabled(!isBusy() && toWrite() > 0);
    showOffsetTotal();
    if (!isBusy())
        summaryLabel->setText(photos.isEmpty() ? tr("Add photos to place them on the tracks.")
                                               : summary.text());
    showOnMap();
}

void GeotagDialog::showRow(int row)
{
    const Geotag::Result &r = results[row];
    const bool tagged = Geotag::isTagged(r.outcome);
    QString outcome = Geotag::outcomeText(r.outcome);
    if (!r.reason.isEmpty())
        outcome += QStringLiteral(": ") + r.reason;
    else if (tagged && r.sidecar)
        outcome += tr(", into %1").arg(QFileInfo(r.photo.sidecar).fileName());
    // A photo left alone shows the position it has.
    const PhotoMeta::Photo &own = photos[row].photo;
    const bool kept =
        r.outcome == Geotag::Outcome::HasPosition && (own.hasPosition || own.sidecarPosition);
    const auto degrees = [&](double fix, double has) {
        return tagged ? QString::number(fix, 'f', 6)
               : kept ? QString::number(has, 'f', 6)
                      : QString();
    };
    const QStringList texts{utcText(r.utcMs), outcome, degrees(r.fix.latitude, own.latitude),
                            degrees(r.fix.longitude, own.longitude),
                            tagged && r.fix.hasAltitude ? QString::number(r.fix.altitude, 'f', 1)
                                                        : QString()};
    for (int c = Time; c < Columns; ++c) {
        QTableWidgetItem *item = table->item(row, c);
        if (!item)
            table->setItem(row, c, item = new QTableWidgetItem);
        item->setText(texts[c - Time]);
    }
}

void GeotagDialog::showOnMap()
{
    QJsonArray marks;
    for (int i = 0; i < results.size(); ++i) {
        if (!Geotag::isTagged(results[i].outcome))
            continue;
        // The thumbnail travels once; the page keeps it with the marker.
        marks.append(QJsonArray{i, results[i].fix.latitude, results[i].fix.longitude,
                                QFileInfo(results[i].photo.file).fileName(),
                                thumbnailSent[i] ? QString() : photos[i].dataUrl});
        thumbnailSent[i] = true;
    }
    map->showPhotos(marks);
}

void GeotagDialog::estimate()
{
    QVector<PhotoMeta::Photo> all;
    for (const Read &r : qAsConst(photos))
        all << r.photo;
    const std::optional<Geotag::Estimate> e = Geotag::estimateOffset(all, *timeline);
    if (!e) {
        offsetNote->setText(tr("No photo with a position was taken within 100 m of the tracks: "
                               "nothing to estimate from."));
        return;
    }
    setOffset(e->offsetS);
    offsetNote->setText(
        tr("Estimated %1 from %n photo(s) with a position (spread %2 s).", nullptr, e->photos)
            .arg(Geotag::offsetText(e->offsetS))
            .arg(e->spreadS));
}

void GeotagDialog::pointPicked(int track, int point)
{
    const TrackPoint &p = tracks->at(track).points.at(point);
    if (!p.hasTime()) {
        pickedMs.reset();
        offsetNote->setText(tr("That point has no time."));
    } else {
        pickedMs = std::llround(p.exactTime() * 1000);
        offsetNote->setText(tr("Picked on the map: track %1 at %2 UTC. Select the photo taken "
                               "there and press \"This photo was taken here\".")
                                .arg(track + 1)
                                .arg(utcText(*pickedMs)));
    }
    hereButton->setEnabled(pickedMs && table->currentRow() >= 0);
}

void GeotagDialog::takenHere()
{
    const int row = table->currentRow();
    if (!pickedMs || row < 0 || !photos[row].photo.hasDate())
        return;
    const int seconds = Geotag::offsetFor(photos[row].photo, *pickedMs);
    setOffset(seconds);
    offsetNote->setText(
        tr("%1 was taken at the point picked: the camera's clock is %2.")
            .arg(QFileInfo(photos[row].photo.file).fileName(), Geotag::offsetText(seconds)));
}

void GeotagDialog::write()
{
    if (isBusy())
        return;
    const Geotag::Options o = options();
    QVector<Geotag::Result> jobs;
    for (const Geotag::Result &r : qAsConst(results))
        if (Geotag::isTagged(r.outcome) && !writtenFiles.contains(r.photo.file))
            jobs << r;
    setBusy(true);
    progress->setRange(0, int(jobs.size()));
    progress->setValue(0);
    progress->setFormat(tr("%v of %m"));
    progress->setVisible(true);
    cancelButton->setVisible(true);
    summaryLabel->setText(tr("Writing…"));
    writeWatcher.setFuture(QtConcurrent::run([jobs, o](QPromise<Geotag::Result> &promise) {
        promise.setProgressRange(0, int(jobs.size()));
        PhotoMeta::Writer writer; // its ExifTool lives in this thread
        for (int i = 0; i < jobs.size(); ++i) {
            if (promise.isCanceled())
                return;
            Geotag::Result r = jobs[i];
            Geotag::write(r, o, writer);
            promise.addResult(r, i);
            promise.setProgressValue(i + 1);
        }
    }));
}

void GeotagDialog::writeFinished()
{
    const int done = writeWatcher.future().resultCount();
    int failed = 0;
    for (int i = 0; i < done; ++i) {
        const Geotag::Result r = writeWatcher.resultAt(i);
        failed += r.outcome == Geotag::Outcome::Unwritable;
        writtenFiles.insert(r.photo.file); // written or failed: not tried again unasked
    }
    const int asked = progress->maximum();
    progress->setVisible(false);
    cancelButton->setVisible(false);
    setBusy(false);
    // After a Cancel the rest can still be written.
    writeButton->setEnabled(toWrite() > 0);
    QString text = tr("Written: %1 of %2 photos.").arg(done - failed).arg(asked);
    if (failed > 0)
        text += QLatin1Char(' ') + tr("%n could not be written (see the table).", nullptr, failed);
    if (done < asked)
        text += QLatin1Char(' ') + tr("Cancelled: %n not written.", nullptr, asked - done);
    summaryLabel->setText(text);
    emit written();
}

void GeotagDialog::setBusy(bool busy)
{
    // Nothing that re-plans may change while photos are read or written: what is written is
    // what the table shows.
    for (QWidget *w :
         std::initializer_list<QWidget *>{addFilesButton, addFolderButton, estimateButton, zoneBox,
                                          driftBox, gapBox, replaceBox, sidecarBox})
        w->setEnabled(!busy);
    hereButton->setEnabled(!busy && pickedMs && table->currentRow() >= 0);
    writeButton->setEnabled(!busy && toWrite() > 0);
    if (!busy && replanWhenDone) {
        replanWhenDone = false;
        tracksChanged();
    }
}

void GeotagDialog::tracksChanged()
{
    if (isBusy()) {
        replanWhenDone = true;
        return;
    }
    pickedMs.reset(); // a point of the tracks that were
    timeline = std::make_unique<Geotag::Timeline>(*tracks);
    replan();
}

void GeotagDialog::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void GeotagDialog::dropEvent(QDropEvent *event)
{
    QStringList paths;
    for (const QUrl &url : event->mimeData()->urls())
        if (url.isLocalFile())
            paths << url.toLocalFile();
    event->acceptProposedAction();
    addPhotos(paths);
}

int GeotagDialog::toWrite() const
{
    int n = 0;
    for (const Geotag::Result &r : results)
        n += Geotag::isTagged(r.outcome) && !writtenFiles.contains(r.photo.file);
    return n;
}

void GeotagDialog::hideEvent(QHideEvent *event)
{
    emit closed(saveGeometry());
    map->clearPhotos();
    thumbnailSent.fill(false);
    QDialog::hideEvent(event);
}
