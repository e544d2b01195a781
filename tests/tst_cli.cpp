#include "formats/exportsettings.h"
#include "formats/fileformats.h"
#include "tools/sim/loggersimulator.h"

#include <QProcess>
#include <QtTest>

namespace {

const quint32 Start2009 = 1239437700; // 2009-04-11 08:15:00 UTC

struct Run
{
    int status = -1;
    QString out;
    QString err;
};

Run cli(const QStringList &args, int timeoutMs = 30000)
{
    QProcess p;
    p.start(QStringLiteral(LX300_CLI), args);
    Run r;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        r.err = QStringLiteral("did not finish");
        return r;
    }
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

QByteArray readAll(const QString &name)
{
    QFile f(name);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

} // namespace

class TestCli : public QObject
{
    Q_OBJECT

public:
    static void initMain() { qputenv("TZ", "XST-8"); }

private slots:
    void init();
    void cleanup();
    void helpAndUsage_data();
    void helpAndUsage();
    void ports();
    void list();
    void download_data();
    void download();
    void downloadToUnknownExtensionIsUsage();
    void configRead();
    void configSet();
    void configRangeErrors_data();
    void configRangeErrors();
    void configRefused();
    void deleteAll();
    void silentLogger();
    void lostReplyMidDownloadWritesNothing();
    void portDisappearsMidDownload();
    void convertAndInfo();
    void damagedFile();

private:
    QString path(const QString &name) const { return dir->filePath(name); }
    QString port() const { return sim->portPath(); }

    QScopedPointer<QTemporaryDir> dir;
    QScopedPointer<LoggerSimulator> sim;
};

void TestCli::init()
{
    dir.reset(new QTemporaryDir);
    sim.reset(new LoggerSimulator);
    sim->setTracks({LoggerSimulator::makeTrack(2, 150, 1, Start2009),
                    LoggerSimulator::makeTrack(1, 230, 2, Start2009 + 86400),
                    LoggerSimulator::makeTrack(2, 90, 3, Start2009 + 2 * 86400)});
    sim->setPageSize(4);
    QVERIFY(sim->start());
}

void TestCli::cleanup()
{
    sim.reset();
}

void TestCli::helpAndUsage_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("text");
    QTest::newRow("tool help") << QStringList{"--help"} << 0 << "Commands:";
    QTest::newRow("command help") << QStringList{"download", "--help"} << 0 << "--marked-only";
    QTest::newRow("no command") << QStringList{} << 2 << "Usage";
    QTest::newRow("unknown command") << QStringList{"fly"} << 2 << "unknown command";
    QTest::newRow("unknown option") << QStringList{"list", "--nope"} << 2 << "nope";
    QTest::newRow("missing port") << QStringList{"list"} << 2 << "--port";
    QTest::newRow("bad unit") << QStringList{"convert", "a.tkr", "b.csv", "--speed-unit", "knots"}
                              << 2 << "--speed-unit";
    QTest::newRow("bad tracks") << QStringList{"convert", "a.tkr", "b.csv", "--tracks", "1-3"} << 2
                                << "--tracks";
    QTest::newRow("bad setting") << QStringList{"config", "--port", "/dev/null", "--set",
                                                "radius=-4"}
                                 << 2 << "radius=-4";
    QTest::newRow("unknown setting")
        << QStringList{"config", "--port", "/dev/null", "--set", "colour=red"} << 2 << "colour";
}

void TestCli::helpAndUsage()
{
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QString, text);
    const Run r = cli(args);
    QCOMPARE(r.status, status);
    QVERIFY2((r.out + r.err).contains(text), qPrintable(r.out + r.err));
    if (status != 0)
        QCOMPARE(r.err.count('\n'), r.err.startsWith("Usage") ? r.err.count('\n') : 1);
}

void TestCli::ports()
{
    const Run r = cli({"ports"});
    QCOMPARE(r.status, 0);
    for (const QString &line : r.out.split('\n', Qt::SkipEmptyParts)) {
        const QStringList fields = line.split('\t');
        QCOMPARE(fields.size(), 3);
        QVERIFY(fields[2] == "usb" || fields[2] == "-");
        QCOMPARE(fields[2] == "usb", fields[1].contains("USB"));
    }
}

void TestCli::list()
{
    const Run r = cli({"list", "--port", port()});
    QCOMPARE(r.status, 0);
    QCOMPARE(r.out, QStringLiteral("1\t2009-04-11T08:15:00Z\t3\t7,8,9\n"
                                   "2\t2009-04-12T08:15:00Z\t3\t10,11,12\n"
                                   "3\t2009-04-13T08:15:00Z\t2\t13,14\n"));
}

void TestCli::download_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QVector<int>>("tracks");
    QTest::addColumn<bool>("markedOnly");
    QTest::addColumn<int>("speedUnit");
    QTest::addColumn<int>("heightUnit");
    QTest::addColumn<int>("timeSwitch");
    QTest::newRow("tkr, all") << "all.tkr" << QStringList{} << QVector<int>{0, 1, 2} << false << 0
                              << 0 << 0;
    QTest::newRow("gpx, tracks 1 and 3") << "some.gpx" << QStringList{"--tracks", "1,3"}
                                         << QVector<int>{0, 2} << false << 0 << 0 << 0;
    QTest::newRow("kml, marked only") << "marks.kml" << QStringList{"--marked-only"}
                                      << QVector<int>{0, 1, 2} << true << 0 << 0 << 0;
    QTest::newRow("csv, mph, feet, local")
        << "units.csv" << QStringList{"--tracks",      "2,1", "--speed-unit", "mi",
                                      "--height-unit", "ft",  "--time",       "local"}
        << QVector<int>{1, 0} << false << 1 << 1 << 1;
}

void TestCli::download()
{
    QFETCH(QString, name);
    QFETCH(QStringList, options);
    QFETCH(QVector<int>, tracks);
    QFETCH(bool, markedOnly);
    QFETCH(int, speedUnit);
    QFETCH(int, heightUnit);
    QFETCH(int, timeSwitch);

    const Run r = cli(QStringList{"download", "--port", port(), "--output", path(name)} + options);
    QCOMPARE(r.status, 0);
    QVERIFY2(r.err.isEmpty(), qPrintable(r.err)); // no progress bar: stderr is no terminal

    // The same file the formats write for the tracks the logger holds.
    const QVector<Track> expected = sim->expectedTracks(tracks);
    QList<int> all;
    for (int i = 0; i < expected.size(); ++i)
        all.append(i);
    FixedExportSettings settings(speedUnit, heightUnit, timeSwitch);
    const FileFormatMap formats = createFileFormats(&settings);
    const QString reference = path(QStringLiteral("reference") + name.mid(name.indexOf('.')));
    QVERIFY(writeTracks(formats, expected, reference, all, markedOnly));
    qDeleteAll(formats);
    QCOMPARE(readAll(path(name)), readAll(reference));

    // It went block by block and ended the download.
    const QVector<QByteArray> requests = sim->requests();
    QCOMPARE(quint8(requests.last()[0]), quint8(0xB7));
    QCOMPARE(requests.last().size(), 1);
}

void TestCli::downloadToUnknownExtensionIsUsage()
{
    const Run r = cli({"download", "--port", port(), "--output", path("trip.TKR")});
    QCOMPARE(r.status, 2);
    QVERIFY(r.err.contains("trip.TKR"));
    QVERIFY(sim->requests().isEmpty()); // refused before touching the logger
}

void TestCli::configRead()
{
    const Run r = cli({"config", "--port", port()});
    QCOMPARE(r.status, 0);
    QCOMPARE(r.out, QStringLiteral("logFormat=2\nwaasEnabled=1\nspeedThresholdEnabled=1\n"
                                   "speedThreshold=10\nradiusEnabled=0\nradius=25\n"
                                   "intervalMode=time\ntimeInterval=5\ndistanceInterval=100\n"
                                   "memoryUsage=37\n"));
}

void TestCli::configSet()
{
    const Run r = cli({"config", "--port", port(), "--set", "timeInterval=30", "--set",
                       "intervalMode=distance", "--set", "distanceInterval=5000", "--set",
                       "logFormat=1", "--set", "radiusEnabled=1", "--set", "waasEnabled=0"});
    QCOMPARE(r.status, 0);
    QVERIFY(r.err.contains("Set device configuration ok."));
    const QByteArray request = sim->requests().last();
    QCOMPARE(request.size(), 43);
    QByteArray expected = LoggerSimulator::defaultConfigReply().left(43);
    expected[0] = char(0xB8);
    expected[1] = 1;                                          // log format
    expected.replace(3, 4, QByteArray::fromHex("000003E8"));  // 10 km/h, whole km/h only
    expected[7] = 1;                                          // radius on
    expected.replace(12, 4, QByteArray::fromHex("00007530")); // 30 s
    expected[26] = 1;                                         // by distance
    expected.replace(29, 4, QByteArray::fromHex("00001388")); // 5000 m
    expected[41] = 0x04;
    expected[42] = 0; // WAAS off
    QCOMPARE(request.toHex(), expected.toHex());

    const Run back = cli({"config", "--port", port()});
    QVERIFY(back.out.contains("intervalMode=distance\ntimeInterval=30\ndistanceInterval=5000\n"));
}

void TestCli::configRangeErrors_data()
{
    QTest::addColumn<QStringList>("sets");
    QTest::addColumn<QString>("message");
    QTest::newRow("time 0") << QStringList{"timeInterval=0"} << "The value range is 1 ~ 1800";
    QTest::newRow("time 1801") << QStringList{"timeInterval=1801"} << "The value range is 1 ~ 1800";
    QTest::newRow("time checked in distance mode")
        << QStringList{"intervalMode=distance", "timeInterval=0"} << "The value range is 1 ~ 1800";
    QTest::newRow("distance 5001") << QStringList{"intervalMode=distance", "distanceInterval=5001"}
                                   << "The value range is 1 ~ 5000";
}

void TestCli::configRangeErrors()
{
    QFETCH(QStringList, sets);
    QFETCH(QString, message);
    QStringList args{"config", "--port", port()};
    for (const QString &s : sets)
        args << "--set" << s;
    const Run r = cli(args);
    QCOMPARE(r.status, 1);
    QCOMPARE(r.err, message + '\n');
    for (const QByteArray &request : sim->requests())
        QVERIFY(quint8(request[0]) != 0xB8); // nothing written
}

void TestCli::configRefused()
{
    sim->setWriteResult(0);
    // Distance 0 is fine in time mode: it is only checked by distance.
    const Run r = cli({"config", "--port", port(), "--set", "distanceInterval=0"});
    QCOMPARE(r.status, 1);
    QVERIFY(r.err.contains("refused"));
}

void TestCli::deleteAll()
{
    const Run refused = cli({"delete-all", "--port", port()});
    QCOMPARE(refused.status, 2);
    QCOMPARE(sim->tracks().size(), 3);
    QVERIFY(sim->requests().isEmpty());

    const Run r = cli({"delete-all", "--port", port(), "--yes"});
    QCOMPARE(r.status, 0);
    QVERIFY(r.err.contains("Delete all track files ok."));
    QCOMPARE(sim->tracks().size(), 0);
    QCOMPARE(cli({"list", "--port", port()}).out, QString());
}

void TestCli::silentLogger()
{
    sim->setSilent(true);
    const Run r = cli({"list", "--port", port()});
    QCOMPARE(r.status, 1);
    QCOMPARE(r.err, QStringLiteral("Failed connect device.\n"));
}

void TestCli::lostReplyMidDownloadWritesNothing()
{
    sim->addFault({LoggerSimulator::Fault::NoReply, 0xB5, 3, 1});
    const Run r = cli({"download", "--port", port(), "--output", path("lost.gpx")});
    QCOMPARE(r.status, 1);
    QCOMPARE(r.err, QStringLiteral("Read device data timeout.\n"));
    QVERIFY(!QFile::exists(path("lost.gpx")));
}

void TestCli::portDisappearsMidDownload()
{
    sim->addFault({LoggerSimulator::Fault::CloseLine, 0xB5, 2, 1});
    const Run r = cli({"download", "--port", port(), "--output", path("gone.tkr")});
    QCOMPARE(r.status, 1);
    QVERIFY(!r.err.isEmpty());
    QVERIFY(!QFile::exists(path("gone.tkr")));
}

void TestCli::convertAndInfo()
{
    const QString sample = QStringLiteral(LX300_SAMPLE);
    const Run info = cli({"info", sample});
    QCOMPARE(info.status, 0);
    const QStringList lines = info.out.split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 5);
    QCOMPARE(lines[0], QStringLiteral("track\tstart\tformat\tpoints\tmarks\tfirst\tlast"));
    QCOMPARE(lines[1], QStringLiteral("1\t2009-04-11T08:15:00Z\t2\t400\t10\t2009-04-11T08:15:00Z\t"
                                      "2009-04-11T08:48:15Z"));
    QVERIFY(lines[4].startsWith(QStringLiteral("total\t3 tracks\t\t1200\t30")));

    const Run convert = cli({"convert", sample, path("two.csv"), "--tracks", "2", "--marked-only"});
    QCOMPARE(convert.status, 0);
    const QStringList rows =
        QString::fromLatin1(readAll(path("two.csv"))).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(rows.size(), 11); // header and the ten marks of track 2
    QCOMPARE(rows[0],
             QStringLiteral("Date, Time (UTC), Latitude, Longitude, Altitude (m), Speed (km/hr)"));
    QVERIFY(rows[1].contains(",,")); // log format 1: no altitude

    QCOMPARE(cli({"convert", sample, path("x.kml"), "--tracks", "4"}).status, 2);
    QVERIFY(!QFile::exists(path("x.kml")));
}

void TestCli::damagedFile()
{
    QByteArray bytes = readAll(QStringLiteral(LX300_SAMPLE));
    bytes.chop(100);
    {
        QFile f(path("cut.tkr"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    for (const QStringList &args : {QStringList{"info", path("cut.tkr")},
                                    QStringList{"convert", path("cut.tkr"), path("out.gpx")}}) {
        const Run r = cli(args);
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.contains("damaged"), qPrintable(r.err));
        QCOMPARE(r.err.count('\n'), 1);
        QCOMPARE(r.out, QString());
    }
    QVERIFY(!QFile::exists(path("out.gpx")));
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
