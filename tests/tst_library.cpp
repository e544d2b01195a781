#include "formats/fileformattkr.h"
#include "library/tracklibrary.h"
#include "simtracks.h"
#include "testfiles.h"

#include <QtTest>

// The library's files and index: what is archived reads back, the index follows the files
// (made again when removed, a file removed or damaged by hand), and a failed write leaves
// nothing counted.
class TestLibrary : public QObject
{
    Q_OBJECT

    QVector<Track> logger()
    {
        LoggerSimulator sim;
        loadThreeTracks(sim);
        return sim.expectedTracks({0, 1, 2});
    }

    static QStringList files(const TrackLibrary &library)
    {
        QStringList names;
        for (const TrackLibrary::Entry &e : library.entries())
            names << e.file + (e.damaged ? QStringLiteral(" damaged") : QString());
        return names;
    }

private slots:
    void archiveAndReopen()
    {
        QTemporaryDir dir;
        const QVector<Track> tracks = logger();
        {
            TrackLibrary library(dir.path());
            QVERIFY2(library.open(), qPrintable(library.errorString()));
            for (const Track &t : tracks)
                QVERIFY(library.archive(t, t.startTime, 3).ok);
            // Another track of the same start second gets a name of its own.
            Track twin = tracks[0];
            twin.points.removeLast();
            const TrackLibrary::Written w = library.archive(twin, twin.startTime, 2);
            QVERIFY2(w.ok, qPrintable(w.reason));
            QCOMPARE(w.file, QStringLiteral("2009/2009-04-11_081500-2.tkr"));
            QVERIFY(library.find(tracks[1].startTime, 3));
            QVERIFY(!library.find(tracks[1].startTime, 4)); // another listing
            QVERIFY(library.setText(w.file, QStringLiteral("Twin"), QStringLiteral("a note")));
            // An incomplete download is no archive.
            Track cut = tracks[2];
            cut.blocksListed = 3;
            cut.blocksReceived = 2;
            QVERIFY(!library.archive(cut, cut.startTime, 3).ok);
        }
        const QStringList all{"2009/2009-04-11_081500.tkr", "2009/2009-04-11_081500-2.tkr",
                              "2009/2009-04-12_081500.tkr", "2009/2009-04-13_081500.tkr"};

        // The index read again: the same list, the name in the file too.
        TrackLibrary again(dir.path());
        QVERIFY(again.open());
        QCOMPARE(files(again), all);
        QCOMPARE(again.entries()[1].name + '|' + again.entries()[1].note,
                 QStringLiteral("Twin|a note"));
        QVector<Track> back;
        QVERIFY(FileFormatTKR().read(back, dir.filePath(all[1])));
        QCOMPARE(back[0].name, QStringLiteral("Twin"));
        QCOMPARE(again.entries()[0].points, tracks[0].points.size());
        const double distance = again.entries()[0].distanceM;
        QVERIFY(distance > 1000);

        // Removed, the index is made from the files; a file damaged or removed by hand shows.
        QVERIFY(QFile::remove(dir.filePath("library.sqlite")));
        QVERIFY(writeAll(dir.filePath(all[3]), "TRKF and then nothing"));
        QVERIFY(QFile::remove(dir.filePath(all[2])));
        TrackLibrary rebuilt(dir.path());
        QVERIFY(rebuilt.open());
        QCOMPARE(files(rebuilt), (QStringList{all[3] + " damaged", all[0], all[1]}));
        QCOMPARE(rebuilt.entries()[1].distanceM, distance);
        QVERIFY(rebuilt.find(tracks[0].startTime, 3)); // by its start, the blocks not known
        QVERIFY(QFile::exists(dir.filePath(all[3])));  // never deleted

        // An index of garbage is made again too.
        QVERIFY(writeAll(dir.filePath("library.sqlite"), QByteArray(5000, 'x')));
        TrackLibrary garbage(dir.path());
        QVERIFY2(garbage.open(), qPrintable(garbage.errorString()));
        QCOMPARE(files(garbage).size(), 3);
    }

    // A library that cannot be written (here a file where the year's folder would go):
    // the reason, no file, nothing archived.
    void cannotWrite()
    {
        QTemporaryDir dir;
        TrackLibrary library(dir.path());
        QVERIFY(library.open());
        QVERIFY(writeAll(dir.filePath("2009"), "in the way"));
        const Track t = logger().first();
        const TrackLibrary::Written w = library.archive(t, t.startTime, 3);
        QVERIFY(!w.ok);
        QVERIFY2(w.reason.contains("2009/2009-04-11_081500.tkr"), qPrintable(w.reason));
        QVERIFY(library.entries().isEmpty());
        QVERIFY(!library.find(t.startTime, 3));
    }
};

QTEST_MAIN(TestLibrary)
#include "tst_library.moc"
