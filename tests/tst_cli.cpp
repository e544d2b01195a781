#include "analysis/tripstats.h"
#include "formats/fileformats.h"
#include "formats/fileformattkr.h"
#include "model/units.h"
#include "simtracks.h"
#include "testfiles.h"
#include "tools/sim/loggersimulator.h"
#include "trackcompare.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

#include <csignal>
#include <memory>
#include <vector>

namespace {
using Fault = LoggerSimulator::Fault;
using Rule = LoggerSimulator::FaultRule;

struct Run
{
    int status = -1;
    QString out, err;
};

Run cli(const QStringList &args, const QString &program = QStringLiteral(LX300_CLI))
{
    QProcess p;
    // As from a console without a display: the window's program answers --help there too.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    p.setProcessEnvironment(env);
    p.start(program, args);
    if (!p.waitForFinished(30000)) {
        p.kill();
        p.waitForFinished();
        return {};
    }
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2,
            QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}
} // namespace
Q_DECLARE_METATYPE(QVector<Rule>)

class TestCli : public QObject
{
    Q_OBJECT
public:
    static void initMain() { qputenv("TZ", "XST-8"); }

private:
    QString path(const QString &name) const { return dir->filePath(name); }
    QScopedPointer<QTemporaryDir> dir;
    QScopedPointer<LoggerSimulator> sim;
    RandomSoak soak;

private slots:
    void initTestCase()
    {
        if (soak.only && soak.runs == 0)
            QSKIP("the random soak runs when LX300_SOAK_RUNS is set");
        if (!soak.only && QCoreApplication::arguments().size() == 1) // the whole test
            startBrokenLoggers();
    }

    void init()
    {
        dir.reset(new QTemporaryDir);
        sim.reset(new LoggerSimulator);
        loadThreeTracks(*sim);
        sim->setPageSize(4);
        QVERIFY(sim->start());
    }

    void usage_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("text");
        const struct
        {
            const char *args;
            int status;
            const char *text;
        } rows[] = {
            {"--help", 0, "Commands:"},
            {"--version", 0, "lx300-cli 1.0.0"},
            {"", 2, "Usage"},
            {"fly", 2, "unknown command"},
            {"list", 2, "--port"},
            {"convert a.tkr b.csv --speed-unit knots", 2, "--speed-unit"},
            {"config --port /dev/null --set radius=-4", 2, "radius=-4"},
            {"convert SAMPLE x.kml --tracks 4", 2, "there is no track 4; there are 3"},
            {"convert SAMPLE x.kml --tracks 2,0", 2, "tracks count from 1"},
            {"download --port SIM --output no/such/trip.gpx", 1, "does not exist"},
            {"download --port SIM --output trip.txt", 2, "trip.txt"},
            {"convert SAMPLE x.tcx", 2, "No track file format to write"},
            {"list --port /dev/no-such-lx300", 1,
             "Failed connect device. No such file or directory"},
            {"delete-all --port SIM", 2, "--yes"},
            {"WINDOW --help", 0, "--port <PATH>"},
            {"WINDOW --version", 0, "lx300 1.0.0"},
            {"WINDOW --map", 2, "Missing value after '--map'."},
            {"EMULATOR --tracks -1", 2, "--tracks takes a whole number"},
            {"EMULATOR --tracks abc", 2, "--tracks takes a whole number"},
            {"EMULATOR --points -5", 2, "--points takes a whole number"},
        };
        for (const auto &row : rows)
            QTest::newRow(row.args)
                << QString(row.args).split(' ', Qt::SkipEmptyParts) << row.status << row.text;
    }

    void usage()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, text);
        args.replaceInStrings(QStringLiteral("SIM"), sim->portPath());
        args.replaceInStrings(QStringLiteral("SAMPLE"), QStringLiteral(LX300_SAMPLE));
        args.replaceInStrings(QRegularExpression(QStringLiteral("^(x.kml|x.tcx|trip.txt|no/.*)$")),
                              path("\\1"));
        const bool window = args.value(0) == QLatin1String("WINDOW");
        const bool simulator = args.value(0) == QLatin1String("EMULATOR");
        const Run r = window      ? cli(args.mid(1), QStringLiteral(LX300_GUI))
                      : simulator ? cli(args.mid(1), QStringLiteral(LX300_SIMULATOR))
                                  : cli(args);
        QTEST(r.status, "status");
        QVERIFY2((r.out + r.err).contains(text), qPrintable(r.out + r.err));
        if (r.status != 0 && !r.err.startsWith("Usage") && !window && !simulator)
            QCOMPARE(r.err.count('\n'), 1);
        QVERIFY(sim->requests().isEmpty());
        QCOMPARE(QDir(dir->path()).entryList(QDir::Files), QStringList());
    }

    void list()
    {
        // A slow logger that keeps answering: three pages of 2.1 s, more than 6 s in all.
        sim->setPageSize(3);
        sim->setReplyDelay(2100, 0xBB);
        const Run r = cli({"list", "--port", sim->portPath()});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.err, QString());
        QCOMPARE(r.out, QStringLiteral("1\t2009-04-11T08:15:00Z\t3\t7,8,9\n"
                                       "2\t2009-04-12T08:15:00Z\t3\t10,11,12\n"
                                       "3\t2009-04-13T08:15:00Z\t2\t13,14\n"));
    }

    // Downloads give the file the formats write for what the logger holds, or the program's
    // own error and no file at all, not even a temporary one. The random soak (LX300_SOAK_RUNS)
    // adds downloads with a random fault on a random request, or none.
    void download_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("options");
        QTest::addColumn<QVector<int>>("tracks");
        QTest::addColumn<QVector<Rule>>("faults");
        QTest::addColumn<QString>("outcome"); // "exact", "status error", or "any" of those
        const QVector<int> all{0, 1, 2};
        if (!soak.only) {
            QTest::newRow("tkr, all") << "all.tkr"
                                      << "" << all << QVector<Rule>{} << "exact";
            QTest::newRow("GPX in capitals, tracks 1 and 3, marked only")
                << "some.GPX"
                << "--tracks 1,3 --marked-only" << QVector<int>{0, 2} << QVector<Rule>{} << "exact";
            QTest::newRow("csv, mph, feet, local")
                << "units.csv"
                << "--tracks 2,1 --speed-unit mi --height-unit ft --time local"
                << QVector<int>{1, 0} << QVector<Rule>{} << "exact";
            QTest::newRow("lost hello reply")
                << "a.tkr"
                << "" << all << QVector<Rule>{{Fault::NoReply, 0xBF, 0, 1}} << "exact";
            QTest::newRow("lost block reply")
                << "a.tkr"
                << "" << all << QVector<Rule>{{Fault::NoReply, 0xB5, 4, 1}}
                << "1 Read device data timeout.";
            QTest::newRow("line closes mid-download")
                << "a.tkr"
                << "" << all << QVector<Rule>{{Fault::CloseLine, 0xB5, 2, 1}}
                << "1 The logger's line was lost.";
        }
        for (int run = 0; run < soak.runs; ++run) {
            QVector<Rule> faults;
            if (soak.random.bounded(2)) {
                const quint8 commands[] = {0xB5, 0xB5, 0xB5, 0xBB, 0xBF};
                const quint8 command = commands[soak.random.bounded(5)];
                faults.append({Fault(soak.random.bounded(7)), command,
                               command == 0xB5 ? int(soak.random.bounded(8)) : 0, 1});
            }
            QTest::addRow("random %d", run) << "a.tkr"
                                            << "" << all << faults << "any";
        }
    }

    void download()
    {
        QFETCH(QString, name);
        QFETCH(QString, options);
        QFETCH(QVector<int>, tracks);
        QFETCH(QVector<Rule>, faults);
        QFETCH(QString, outcome);
        sim->setPageSize(soak.runs ? 1 + int(soak.random.bounded(7)) : 4);
        for (const Rule &f : faults)
            sim->addFault(f);
        const Run r =
            cli(QStringList{"download", "--port", sim->portPath(), "--output", path(name)} +
                options.split(' ', Qt::SkipEmptyParts));
        // No progress bar on stderr, which is no terminal here.
        const QString got = r.status == 0 && r.err.isEmpty()
                                ? QStringLiteral("exact")
                                : QStringLiteral("%1 %2").arg(r.status).arg(r.err.trimmed());
        if (outcome == "any")
            QVERIFY2(QStringList({"exact", "1 Read device data timeout.",
                                  "1 Failed connect device.", "1 The logger's line was lost."})
                         .contains(got),
                     qPrintable(got));
        else
            QCOMPARE(got, outcome);
        if (got != "exact") {
            QCOMPARE(QDir(dir->path()).entryList(QDir::Files | QDir::Hidden), QStringList());
            return;
        }
        const QVector<Track> expected = sim->expectedTracks(tracks);
        const int imperial = options.contains("local");
        FixedDisplayUnits settings{SpeedUnit(imperial), HeightUnit(imperial), TimeShown(imperial)};
        const FileFormats formats(&settings);
        const QString reference = path("reference" + name.mid(name.indexOf('.')).toLower());
        QVERIFY(formats.write(expected, reference, QList<int>{0, 1, 2}.mid(0, tracks.size()),
                              options.contains("marked")));
        QCOMPARE(readAll(path(name)), readAll(reference));
        QCOMPARE(sim->requests().last().toHex(), QByteArray("b7")); // the download was ended
    }

    // Settings written, or refused by the dialog's rules; what a read shows afterwards.
    void config_data()
    {
        QTest::addColumn<QString>("assignments");
        QTest::addColumn<QString>("result"); // status and stderr, then a read's stdout
        const QString read =
            "logFormat=2\nwaasEnabled=1\nspeedThresholdEnabled=1\nspeedThreshold=10\n"
            "radiusEnabled=0\nradius=25\nintervalMode=time\ntimeInterval=5\n"
            "distanceInterval=100\nmemoryUsage=37\n";
        const QString ok = "0 Set device configuration ok.\n";
        QTest::newRow("read") << ""
                              << "0 " + read;
        QTest::newRow("set") << "speedThreshold=1000 timeInterval=30 intervalMode=distance "
                                "distanceInterval=5000 logFormat=1 radiusEnabled=1 waasEnabled=0"
                             << ok + "logFormat=1\nwaasEnabled=0\nspeedThresholdEnabled=1\n"
                                     "speedThreshold=1000\nradiusEnabled=1\nradius=25\n"
                                     "intervalMode=distance\ntimeInterval=30\n"
                                     "distanceInterval=5000\nmemoryUsage=37\n";
        QTest::newRow("time 1801") << "timeInterval=1801"
                                   << "2 timeInterval: The value range is 1 ~ 1800\n" + read;
        QTest::newRow("distance 5001")
            << "intervalMode=distance distanceInterval=5001"
            << "2 distanceInterval: The value range is 1 ~ 5000\n" + read;
        QTest::newRow("one key, the rest as read")
            << "waasEnabled=0" << ok + QString(read).replace("waasEnabled=1", "waasEnabled=0");
    }

    void config()
    {
        QFETCH(QString, assignments);
        QStringList args{"config", "--port", sim->portPath()};
        for (const QString &s : assignments.split(' ', Qt::SkipEmptyParts))
            args << "--set" << s;
        const Run r = cli(args);
        QTEST(QString::number(r.status) + ' ' + r.err + cli(args.mid(0, 3)).out, "result");
        // What the program never shows goes back as it was read.
        QCOMPARE(sim->configReply().mid(33, 8), LoggerSimulator::defaultConfigReply().mid(33, 8));
    }

    void deleteAll()
    {
        sim->setDeleteResult(2); // refused: no report comes, and the tool does not wait forever
        const Run refused = cli({"delete-all", "--port", sim->portPath(), "--yes"});
        QCOMPARE(QString::number(refused.status) + ' ' + refused.err,
                 QStringLiteral("1 The logger did not delete its tracks.\n"));
        QCOMPARE(sim->tracks().size(), 3);
        sim->setDeleteResult(1);
        const Run r = cli({"delete-all", "--port", sim->portPath(), "--yes"});
        QCOMPARE(r.status, 0);
        QVERIFY(r.err.contains("Delete all track files ok."));
        QCOMPARE(sim->tracks().size(), 0);
        const Run empty = cli({"list", "--port", sim->portPath()});
        QCOMPARE(empty.status, 0);
        QCOMPARE(empty.out, QString());
        QCOMPARE(empty.err, QStringLiteral("The logger holds no tracks.\n"));
    }

    // Into an empty library, again (nothing comes down), with two tracks more and the line
    // lost in the last (the one before is archived, the logger kept), then all and cleared.
    void syncAndLibrary()
    {
        const QString lib = path("lib");
        const auto sync = [&](const LoggerSimulator &logger, QStringList more = {}) {
            return cli(QStringList{"sync", "--port", logger.portPath(), "--library", lib} + more);
        };
        const Run first = sync(*sim);
        QVERIFY2(first.status == 0, qPrintable(first.out + first.err));
        QCOMPARE(first.out.count("\tarchived\t2009/"), 3);
        const qsizetype asked = sim->requests().size();
        const QJsonArray again =
            QJsonDocument::fromJson(sync(*sim, {"--json"}).out.toUtf8())["tracks"].toArray();
        QCOMPARE(again.size(), 3);
        for (const QJsonValue &t : again)
            QCOMPARE(t["status"].toString(), QStringLiteral("already archived"));
        for (qsizetype i = asked; i < sim->requests().size(); ++i)
            QVERIFY(quint8(sim->requests()[i].at(0)) != 0xB5); // no block asked for

        const auto fiveTracks = [](LoggerSimulator &logger) {
            loadThreeTracks(logger);
            QVector<SimulatedTrack> memory = logger.tracks();
            for (quint32 day : {3u, 4u})
                memory << LoggerSimulator::makeTrack(2, 120, day + 1, Start2009 + day * 86400);
            logger.setTracks(memory);
            return logger.start();
        };
        LoggerSimulator cut;
        QVERIFY(fiveTracks(cut));
        cut.addFault({LoggerSimulator::Fault::CloseLine, 0xB5,
                      int(cut.headers()[3].blockIndexes.size()), 1});
        const Run lost = sync(cut, {"--delete-after"});
        QCOMPARE(lost.status, 1);
        QVERIFY2(lost.out.contains("2009-04-14T08:15:00Z\t2\tarchived\t") &&
                     lost.out.contains("2009-04-15T08:15:00Z\t2\tincomplete\t"),
                 qPrintable(lost.out));
        QVERIFY2(lost.err.contains("2009-04-15T08:15:00Z. The logger was not cleared."),
                 qPrintable(lost.err));
        QCOMPARE(cut.tracks().size(), 5);

        LoggerSimulator whole;
        QVERIFY(fiveTracks(whole));
        const Run all = sync(whole, {"--delete-after"});
        QCOMPARE(all.status, 0);
        QVERIFY2(all.out.endsWith("1 archived, 4 already archived, 0 not archived; the logger's "
                                  "tracks were deleted.\n"),
                 qPrintable(all.out));
        QCOMPARE(whole.tracks().size(), 0);

        const Run listed = cli({"library", lib, "--json", "--rebuild"});
        const QJsonObject o = QJsonDocument::fromJson(listed.out.toUtf8()).object();
        QCOMPARE(o["tracks"].toArray().size(), 5);
        QCOMPARE(o["totals"]["points"].toInt(), 150 + 230 + 90 + 120 + 120);
        QCOMPARE(o["tracks"][1]["ascent_m"].isNull(), true); // log format 1
    }

    void convertAndInfo()
    {
        const Run info = cli({"info", LX300_SAMPLE});
        QCOMPARE(info.status, 0);
        const QStringList lines = info.out.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 5);
        QVERIFY(lines[0].startsWith("track\tstart\tformat\tpoints\tmarks\tfirst\tlast\tdistance"));
        QCOMPARE(lines[1].section('\t', 0, 8),
                 QStringLiteral("1\t2009-04-11T08:15:00Z\t2\t400\t10\t"
                                "2009-04-11T08:15:00Z\t"
                                "2009-04-11T08:48:15Z\t8.00 km\t0:33:15"));
        QVERIFY(lines[4].startsWith(QStringLiteral("total\t3 tracks\t\t1200\t30")));
        const Run imperial =
            cli({"info", LX300_SAMPLE, "--speed-unit", "mi", "--height-unit", "ft"});
        QCOMPARE(
            imperial.out.split('\n').at(2).section('\t', 7),
            QStringLiteral("4.17 mi\t0:33:15\t0:31:15\t7.5 mph\t8.0 mph\t22.1 mph\t-\t-\t-\t-"));

        // The JSON carries the figures at full precision, with exactly these keys.
        const Run json = cli({"info", "--json", LX300_SAMPLE});
        QCOMPARE(json.status, 0);
        const QJsonArray parsed = QJsonDocument::fromJson(json.out.toUtf8())["tracks"].toArray();
        QCOMPARE(parsed.size(), 3);
        QVector<Track> sample;
        QVERIFY(FileFormatTKR().read(sample, LX300_SAMPLE));
        for (int i = 0; i < 3; ++i) {
            const QJsonObject o = parsed[i].toObject();
            const TripStats s = TripAnalysis::trackStats(sample[i]);
            QCOMPARE(o.keys(), (QStringList{"ascent_m", "avg_moving_speed_kmh", "avg_speed_kmh",
                                            "descent_m", "description", "distance_m", "duration_s",
                                            "format", "marks", "max_altitude_m", "max_speed_kmh",
                                            "min_altitude_m", "moving_time_s", "name", "number",
                                            "points", "segments", "start"}));
            QVERIFY(o["name"].isNull() && o["description"].isNull());
            QCOMPARE(o["start"].toString(), QStringLiteral("2009-04-1%1T08:15:00Z").arg(i + 1));
            QCOMPARE(
                (QList<double>{o["distance_m"].toDouble(), o["avg_moving_speed_kmh"].toDouble(),
                               o["moving_time_s"].toDouble(), o["max_altitude_m"].toDouble()}),
                (QList<double>{s.distanceM, s.avgMovingSpeedKmh(), double(s.movingTimeS),
                               s.maxAltitudeM}));
            QCOMPARE(o["ascent_m"].isNull(), i == 1); // log format 1 has no altitude
        }
        // A named track's name and description, escaped as JSON strings.
        QVERIFY(writeAll(path("named.gpx"),
                         "<gpx xmlns=\"http://www.topografix.com/GPX/1/1\"><trk><name>A \"b\" \\"
                         "</name><desc>x\ny</desc><trkseg><trkpt lat=\"1\" lon=\"2\"/></trkseg>"
                         "</trk></gpx>"));
        const QJsonObject named =
            QJsonDocument::fromJson(
                cli({"info", "--json", path("named.gpx")}).out.toUtf8())["tracks"][0]
                .toObject();
        QCOMPARE(named["name"].toString() + '|' + named["description"].toString(),
                 QStringLiteral("A \"b\" \\|x\ny"));
        // A waypoint of its own goes through convert into GeoJSON and is listed; CSV says it
        // cannot keep it.
        QVERIFY(writeAll(
            path("wpt.gpx"),
            "<gpx><wpt lat=\"46.5\" lon=\"7.25\"><ele>2100.5</ele><time>2020-01-01T"
            "10:00:00Z</time><name>Hut</name></wpt><trk><desc>d</desc><trkseg><trkpt lat=\"1\" "
            "lon=\"2\"/></trkseg></trk></gpx>"));
        QCOMPARE(cli({"convert", path("wpt.gpx"), path("wpt.geojson")}).status, 0);
        const QJsonArray places =
            QJsonDocument::fromJson(
                cli({"info", "--json", path("wpt.geojson")}).out.toUtf8())["waypoints"]
                .toArray();
        QCOMPARE(QJsonDocument(places).toJson(QJsonDocument::Compact),
                 QByteArray("[{\"description\":null,\"elevation_m\":2100.5,\"lat\":46.5,\"lon\":"
                            "7.25,\"name\":\"Hut\",\"time\":\"2020-01-01T10:00:00Z\"}]"));
        const QString err = cli({"convert", path("wpt.gpx"), path("wpt.csv")}).err;
        QVERIFY2(err.contains("Not kept in " + path("wpt.csv") + ": 1 waypoints") &&
                     err.contains("the descriptions of 1 tracks"),
                 qPrintable(err));

        const Run convert =
            cli({"convert", LX300_SAMPLE, path("two.csv"), "--tracks", "2", "--marked-only"});
        QCOMPARE(convert.status, 0);
        const QStringList rows = QString(readAll(path("two.csv"))).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(rows.size(), 11);       // header and the ten marks of track 2
        QVERIFY(rows[1].contains(",,")); // log format 1: no altitude

        // Into TKR, points it cannot keep are refused, or left out when asked, and said.
        QVERIFY(writeAll(path("u.gpx"), "<gpx><trk><trkseg><trkpt lat=\"1\" lon=\"2\"><time>"
                                        "2020-01-01T00:00:00Z</time></trkpt><trkpt lat=\"1.1\" "
                                        "lon=\"2\"/></trkseg></trk></gpx>"));
        const Run refused = cli({"convert", path("u.gpx"), path("u.tkr")});
        QCOMPARE(refused.status, 1);
        QVERIFY2(refused.err.contains("cannot keep 1 points of track 1"), qPrintable(refused.err));
        QVERIFY(!QFile::exists(path("u.tkr")));
        const Run dropped = cli({"convert", path("u.gpx"), path("u.tkr"), "--drop-incomplete"});
        QCOMPARE(dropped.status, 0);
        QVERIFY2(dropped.err.contains("Left out of") && dropped.err.contains("1 points of track 1"),
                 qPrintable(dropped.err));
        // Nothing left to keep is a failure, not an empty file.
        QVERIFY(writeAll(path("none.gpx"), "<gpx><trk><trkseg><trkpt lat=\"1\" lon=\"2\"/>"
                                           "</trkseg></trk></gpx>"));
        const Run nothing =
            cli({"convert", path("none.gpx"), path("none.tkr"), "--drop-incomplete"});
        QCOMPARE(nothing.status, 1);
        QVERIFY(!QFile::exists(path("none.tkr")));
        // No time is no time: no 1970, in the table, the JSON and the exported name.
        const Run untimed = cli({"info", path("none.gpx")});
        QCOMPARE(untimed.out.split('\n').at(1).section('\t', 0, 6),
                 QStringLiteral("1\t-\t1\t1\t0\t-\t-"));
        QCOMPARE(untimed.out.split('\n').at(1).section('\t', 8, 11),
                 QStringLiteral("-\t-\t-\t-")); // no duration or average speed
        const Run untimedJson = cli({"info", "--json", path("none.gpx")});
        QVERIFY(QJsonDocument::fromJson(untimedJson.out.toUtf8())["tracks"][0]["start"].isNull());
        QCOMPARE(cli({"convert", path("none.gpx"), path("none2.gpx")}).status, 0);
        QVERIFY(readAll(path("none2.gpx")).contains("<name>LX-300 DataLog-1</name>"));
        // Log format 1 has no altitude: none is made up in KML.
        QCOMPARE(cli({"convert", LX300_SAMPLE, path("f1.kml"), "--tracks", "2"}).status, 0);
        const QByteArray kml = readAll(path("f1.kml"));
        QVERIFY(kml.contains("<coordinates>") && !kml.contains(",0.00"));
        // Marks as waypoints, on request only.
        QCOMPARE(cli({"convert", LX300_SAMPLE, path("w.gpx"), "--with-marks"}).status, 0);
        QCOMPARE(readAll(path("w.gpx")).count("<wpt "), 30);
        QCOMPARE(cli({"convert", LX300_SAMPLE, path("nw.gpx")}).status, 0);
        QCOMPARE(readAll(path("nw.gpx")).count("<wpt "), 0);

        QVERIFY(writeAll(path("cut.tkr"), readAll(LX300_SAMPLE).chopped(100)));
        for (const QStringList &args : {QStringList{"info", path("cut.tkr")},
                                        QStringList{"convert", path("cut.tkr"), path("out.gpx")}}) {
            const Run r = cli(args);
            QCOMPARE(r.status, 1);
            QVERIFY2(r.err.contains("damaged"), qPrintable(r.err));
            QCOMPARE(r.out, QString());
        }
        QVERIFY(!QFile::exists(path("out.gpx")));
    }

private:
    // Loggers that misbehave (tests/brokenlogger.py on a pseudo-terminal), one command each.
    struct BrokenRow
    {
        const char *mode;
        QStringList args; // after the command's --port
        const char *error;
    };
    static QVector<BrokenRow> brokenRows()
    {
        return {
            {"nmea", {"list"}, "Failed connect device."},
            {"noise", {"download", "--output", "x.gpx"}, "Failed connect device."},
            {"other-kind", {"config"}, "Failed connect device."},
            {"endless", {"list"}, "Read device data timeout."},
            {"more-pages", {"download", "--output", "y.gpx"}, "Read device data timeout."},
            {"wrong-acks", {"config", "--set", "timeInterval=5"}, "Read device data timeout."},
            {"wrong-acks", {"delete-all", "--yes"}, "Read device data timeout."},
            {"merged",
             {"download", "--output", "m.gpx"},
             "track 2 of 2 has 0 of its 1 blocks and 0 points. Nothing was written."},
            {"no-start", {"download", "--output", "n.gpx"}, "Nothing was written."},
            {"empty", {"download", "--output", "e.gpx"}, "holds no tracks. Nothing was written."},
            {"bad-values", {"download", "--output", "b.gpx"}, "impossible position, left out: 1."},
        };
    }
    // They run while the other tests do (they mostly wait out time-outs); the last test
    // function checks how each ended.
    void startBrokenLoggers()
    {
        brokenClock.start();
        for (const BrokenRow &row : brokenRows()) {
            brokenLoggers.push_back(std::make_unique<QProcess>());
            brokenLoggers.back()->start("python3",
                                        {LX300_TEST_SOURCE "/brokenlogger.py", row.mode});
            brokenLoggers.back()->waitForReadyRead(10000);
            const QString port = QString(brokenLoggers.back()->readLine()).trimmed();
            brokenClis.push_back(std::make_unique<QProcess>());
            QStringList args = row.args;
            args.insert(1, "--port"), args.insert(2, port);
            for (QString &a : args)
                a.replace(QRegularExpression("^(.)\\.gpx$"), brokenDir.filePath("\\1.gpx"));
            brokenClis.back()->start(LX300_CLI, args);
        }
        slow.start(LX300_SIMULATOR, {"--reply-delay", "30000"});
        slow.waitForReadyRead(10000);
        asking.start(LX300_CLI, {"list", "--port", QString(slow.readLine()).trimmed()});
    }
    std::vector<std::unique_ptr<QProcess>> brokenLoggers, brokenClis;
    QProcess slow, asking; // the simulator in a long reply delay, and who asked it
    QTemporaryDir brokenDir;
    QElapsedTimer brokenClock;

private slots:
    // Every command against a broken logger ends within its bounds with status 1 and the
    // reason, never with a success it did not get.
    // split by day writes one file a track, named by its start, whose points together are the
    // input's; merge puts them back as one track, and refuses tracks that overlap in time.
    void splitAndMerge()
    {
        QVERIFY(QDir().mkpath(path("days")));
        const Run split = cli({"split", LX300_SAMPLE, "--by-day", "--output-dir", path("days")});
        QCOMPARE(split.status, 0);
        const QStringList files = split.out.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(QFileInfo(files.value(1)).fileName(), QStringLiteral("2009-04-12_0815.tkr"));
        FixedDisplayUnits settings;
        const FileFormats formats(&settings);
        QVector<Track> whole, pieces;
        QVERIFY(formats.read(whole, LX300_SAMPLE));
        for (const QString &file : files) {
            QVector<Track> one;
            QVERIFY(formats.read(one, file));
            pieces += one;
        }
        QVERIFY(samePoints(pieces, whole));
        const Run merged = cli(QStringList{"merge"} + files + QStringList{path("all.gpx")});
        QCOMPARE(merged.status, 0);
        QVector<Track> all;
        QVERIFY(formats.read(all, path("all.gpx")));
        QCOMPARE(all.size(), 1);
        QCOMPARE(all[0].points.size(), 1200);
        const Run overlap = cli({"merge", LX300_SAMPLE, LX300_SAMPLE, path("no.gpx")});
        QCOMPARE(overlap.status, 1);
        QVERIFY(!QFile::exists(path("no.gpx")));
        // trim: a time without a zone is UTC unless --time says local.
        QCOMPARE(cli({"trim", LX300_SAMPLE, path("t.gpx"), "--from", "2009-04-11T08:20:00", "--to",
                      "2009-04-11T12:00:00+02:00", "--tracks", "1"})
                     .status,
                 0);
        QVector<Track> trimmed;
        QVERIFY(formats.read(trimmed, path("t.gpx")));
        QCOMPARE(trimmed.value(0).points.size(), 340); // 08:20:00 to 08:48:15, every 5 s
        // Laps between the marks and 1 km splits, whose distances add up to the track's.
        const Run info = cli({"info", LX300_SAMPLE, "--json", "--laps", "--splits", "1km"});
        const QJsonObject first =
            QJsonDocument::fromJson(info.out.toUtf8())["tracks"][0].toObject();
        double sum = 0;
        for (const QJsonValue &split : first["splits"].toArray())
            sum += split["distance_m"].toDouble();
        QCOMPARE(first["laps"].toArray().size(), 10);
        QCOMPARE(first["splits"].toArray().size(),
                 8); // 8.004 km: the last boundary is the last point
        QVERIFY(qAbs(sum - first["distance_m"].toDouble()) < 1e-6);
        QCOMPARE(first["laps"][0]["start"].toString(), QStringLiteral("2009-04-11T08:15:00Z"));
    }

    void misbehavingLoggers()
    {
        if (brokenClis.empty())
            QSKIP("only with the whole test");
        const QVector<BrokenRow> rows = brokenRows();
        for (size_t i = 0; i < brokenClis.size(); ++i) {
            QProcess &p = *brokenClis[i];
            QVERIFY2(p.waitForFinished(90000), rows[int(i)].mode);
            const QString err = QString(p.readAllStandardError()).trimmed();
            const int status = QByteArray(rows[int(i)].mode) == "bad-values" ? 0 : 1;
            QVERIFY2(
                p.exitCode() == status && err.endsWith(rows[int(i)].error),
                qPrintable(
                    QStringLiteral("%1: %2 %3").arg(rows[int(i)].mode).arg(p.exitCode()).arg(err)));
            brokenLoggers[i]->kill();
            brokenLoggers[i]->waitForFinished();
        }
        for (const char *name : {"x.gpx", "y.gpx", "m.gpx", "n.gpx", "e.gpx"})
            QVERIFY2(!QFile::exists(brokenDir.filePath(name)), name);
        // An impossible date is no time: the point is kept without one, nothing made up.
        const QByteArray kept = readAll(brokenDir.filePath("b.gpx"));
        QCOMPARE(kept.count("<trkpt"), 2);
        QCOMPARE(kept.count("<time>"), 1);
        QVERIFY(!kept.contains("2106"));
        QVERIFY2(brokenClock.elapsed() < 90000, qPrintable(QString::number(brokenClock.elapsed())));

        // The simulator in a 30 s reply delay ends at once on an interrupt.
        QVERIFY(slow.state() == QProcess::Running);
        QElapsedTimer clock;
        clock.start();
        ::kill(pid_t(slow.processId()), SIGINT);
        QVERIFY(slow.waitForFinished(5000));
        QVERIFY2(clock.elapsed() < 1500, qPrintable(QString::number(clock.elapsed())));
        asking.waitForFinished(10000);
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
