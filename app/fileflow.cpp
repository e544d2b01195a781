#include "app/fileflow.h"

#include "app/myfiledialog.h"
#include "app/settingsstore.h"
#include "formats/fileformattkr.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>

namespace {
// The save dialog's choices, in its order: the extension comes from the chosen one.
struct SaveChoice
{
    const char *filter;
    const char *extension;
};
const SaveChoice SaveChoices[] = {{QT_TR_NOOP("TKR File (*.tkr)"), ".tkr"},
                                  {QT_TR_NOOP("GPX File (*.gpx)"), ".gpx"},
                                  {QT_TR_NOOP("KML File (*.kml)"), ".kml"},
                                  {QT_TR_NOOP("GeoJSON File (*.geojson)"), ".geojson"},
                                  {QT_TR_NOOP("CSV File (*.csv)"), ".csv"}};
} // namespace

FileFlow::FileFlow(QVector<Track> *tracks, const DisplayUnits *units, SettingsStore *store,
                   QString *directory, QWidget *window)
    : QObject(window), tracks(tracks), store(store), directory(directory), window(window),
      formats(units)
{
    recent = new QMenu(tr("Recent files"), window);
    recent->setObjectName(QStringLiteral("recentMenu"));
    rebuildRecentMenu();
}

void FileFlow::warn(const QString &text)
{
    QMessageBox box(QMessageBox::Warning, QString(), text, QMessageBox::Ok, window);
    box.exec();
}

void FileFlow::open()
{
    QFileDialog dialog(window, QString(), QString(), QString());
    dialog.setDirectory(*directory);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setNameFilter(
        tr("Track files (*.tkr *.gpx *.kml *.kmz *.tcx *.fit *.geojson *.json *.igc *.nmea *.nma "
           "*.log *.txt *.csv);;TKR File (*.tkr);;GPX File (*.gpx);;KML File (*.kml *.kmz);;TCX "
           "File (*.tcx);;FIT File (*.fit);;GeoJSON File (*.geojson *.json);;IGC File "
           "(*.igc);;NMEA Log (*.nmea *.nma *.log *.txt);;CSV File (*.csv)"));
    addFormatNote(&dialog, formats);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    *directory = dialog.directory().absolutePath();
    openFiles(dialog.selectedFiles());
}

bool FileFlow::openFiles(const QStringList &fileNames)
{
    QVector<Track> read;
    QStringList failures, notes;
    const qsizetype placesBefore = places.size();
    for (const QString &name : fileNames) {
        // The extension in any case: trip.GPX is a GPX file.
        const QFileInfo info(name);
        FileFormat *format = formats.forName(info.fileName(), Qt::CaseInsensitive);
        if (!format) {
            failures << tr("Cannot open %1: only %2 track files can be opened.")
                            .arg(name, FileFormats::readable());
            continue;
        }
        if (!format->read(read, name)) {
            failures << format->errorString();
            continue;
        }
        if (!format->readNote().isEmpty())
            notes << info.fileName() + QStringLiteral(": ") + format->readNote();
        places += format->waypoints();
        while (placeFiles.size() < places.size())
            placeFiles << info.fileName();
        store->addRecentFile(info.absoluteFilePath());
    }
    if (places.size() != placesBefore)
        emit waypointsChanged(places, placeFiles);
    rebuildRecentMenu();
    if (!read.isEmpty() || failures.size() < fileNames.size()) {
        const int first = int(tracks->size());
        *tracks += read;
        emit tracksAdded(first);
    }
    if (!notes.isEmpty())
        emit note(notes.join(QLatin1Char(' ')));
    if (!failures.isEmpty())
        warn(failures.join(QLatin1Char('\n')));
    return failures.isEmpty();
}

void FileFlow::rebuildRecentMenu()
{
    recent->clear();
    const QStringList files = store->recentFiles();
    for (const QString &file : files)
        recent->addAction(QDir::toNativeSeparators(file), this,
                          [this, file] { openFiles({file}); });
    recent->addSeparator();
    QAction *clear = recent->addAction(tr("Clear recent files"), this, [this] {
        store->clearRecentFiles();
        rebuildRecentMenu();
    });
    clear->setEnabled(!files.isEmpty());
}

bool FileFlow::mayReplace(const QString &fileName)
{
    QMessageBox box(QMessageBox::Warning, QString(),
                    tr("%1 already exists. Replace it?").arg(QFileInfo(fileName).fileName()),
                    QMessageBox::Yes | QMessageBox::No, window);
    box.setInformativeText(QDir::toNativeSeparators(QFileInfo(fileName).absolutePath()));
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

bool FileFlow::mayWriteIncomplete(const QList<int> &selection)
{
    QStringList cut;
    for (int i : selection) {
        const Track &t = tracks->value(i);
        if (t.isIncomplete())
            cut << tr("Track %1 is incomplete: %2 points in %3 of %4 blocks.")
                       .arg(i + 1)
                       .arg(t.points.size())
                       .arg(t.blocksReceived)
                       .arg(t.blocksListed);
    }
    if (cut.isEmpty())
        return true;
    QMessageBox box(QMessageBox::Warning, QString(), cut.join(QLatin1Char('\n')),
                    QMessageBox::Save | QMessageBox::Cancel, window);
    box.setInformativeText(tr("The download stopped early; only what arrived is saved."));
    box.setDefaultButton(QMessageBox::Save);
    return box.exec() == QMessageBox::Save;
}

bool FileFlow::mayDropUnstorablePoints(const QList<int> &selection, bool markedOnly)
{
    qint64 untimed = 0, unstorable = 0;
    for (int i : selection) {
        const Track &t = tracks->at(i);
        for (const TrackPoint &p : t.points)
            untimed += !p.hasTime() && (!markedOnly || p.marked != 0);
        unstorable += FileFormatTKR::unstorablePoints(t, markedOnly);
    }
    if (unstorable == 0)
        return true;
    const QString text =
        untimed == unstorable
            ? tr("%1 points have no time. A TKR file cannot keep them: they will be "
                 "missing when the file is opened again.")
                  .arg(untimed)
            : tr("%1 points have no time or no altitude. A TKR file cannot keep them: they "
                 "will be missing when the file is opened again.")
                  .arg(unstorable);
    return mayLeaveOut(text);
}

bool FileFlow::mayLeaveOut(const QString &text)
{
    QMessageBox box(QMessageBox::Warning, QString(), text, QMessageBox::Save | QMessageBox::Cancel,
                    window);
    box.setDefaultButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Save;
}

FileFlow::Saved FileFlow::save(const QList<int> &selection)
{
    MyFileDialog dialog(window);
    for (;;) { // "Replace it?" answered No goes back to the dialog
        const Saved saved = saveOnce(dialog, selection);
        if (saved != Saved::Again)
            return saved;
    }
}

FileFlow::Saved FileFlow::saveOnce(MyFileDialog &dialog, const QList<int> &selection)
{
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    // Asked below, once the name has its extension.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    QStringList filters;
    for (const SaveChoice &choice : SaveChoices)
        filters << tr(choice.filter);
    dialog.setNameFilters(filters);
    addFormatNote(&dialog, formats);
    dialog.setDirectory(*directory);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return Saved::Nothing;

    const int chosen = qMax(0, int(dialog.nameFilters().indexOf(dialog.selectedNameFilter())));
    const QString extension = QLatin1String(SaveChoices[chosen].extension);
    QString fileName = dialog.selectedFiles().first();
    const bool markedOnly = dialog.isMarkedOnlyChecked();
    const WriteOptions options{markedOnly, dialog.isMarksAsWaypointsChecked(), &places};
    // A name that ends in a format's extension (in any case) is saved in that format; any
    // other name gets the chosen type's.
    const FileFormat *typed = formats.forName(QFileInfo(fileName).fileName(), Qt::CaseInsensitive);
    if (!typed || !typed->canWrite())
        fileName += extension;
    *directory = dialog.directory().absolutePath();

    FileFormat *format = formats.forName(QFileInfo(fileName).fileName(), Qt::CaseInsensitive);
    if (!format) {
        warn(tr("Nothing was saved: %1 does not end in .tkr, .gpx, .kml, .geojson or .csv.")
                 .arg(fileName));
        return Saved::Nothing;
    }
    if (QFileInfo::exists(fileName) && !mayReplace(fileName)) {
        dialog.selectFile(QFileInfo(fileName).fileName());
        return Saved::Again;
    }
    if (!mayWriteIncomplete(selection))
        return Saved::Nothing;
    if (format == formats.byExtension(QStringLiteral(".tkr")) &&
        !mayDropUnstorablePoints(selection, markedOnly))
        return Saved::Nothing;
    if (!places.isEmpty() && !format->keepsWaypoints() &&
        !mayLeaveOut(tr("The opened files have %1 waypoints of their own. A %2 file cannot keep "
                        "them: only GPX, KML and GeoJSON files do.")
                         .arg(places.size())
                         .arg(QFileInfo(fileName).suffix().toUpper())))
        return Saved::Nothing;
    if (const qint64 n = format->descriptionsLeftOut(*tracks, selection);
        n > 0 && !mayLeaveOut(tr("%1 tracks have a description. A %2 file cannot keep it.")
                                  .arg(n)
                                  .arg(QFileInfo(fileName).suffix().toUpper())))
        return Saved::Nothing;
    if (const qint64 n = format->sensorsLeftOut(*tracks, selection, markedOnly);
        n > 0 && !mayLeaveOut(tr("%1 points have heart rate, cadence, temperature or power from "
                                 "another device. A %2 file cannot keep them: only GPX, KML, "
                                 "GeoJSON and CSV files do.")
                                  .arg(n)
                                  .arg(QFileInfo(fileName).suffix().toUpper())))
        return Saved::Nothing;
    if (!format->write(*tracks, fileName, selection, options)) {
        warn(tr("Nothing was saved: %1").arg(format->errorString()));
        return Saved::Nothing;
    }
    return !markedOnly && selection.size() == tracks->size() ? Saved::Everything : Saved::Part;
}
