// Downloads in a row from the simulated logger with random faults, through
// the command-line tool and through the window. Every run must end either with
// every track exactly right or with the program's own error and nothing
// written. LX300_SOAK_RUNS sets the number of runs of each (default 20),
// LX300_SOAK_SEED the random seed.
#include "app/mainwindow.h"
#include "app/trackfileheaderdialog.h"
#include "device/detectdevicethread.h"
#include "device/devicelx300.h"
#include "formats/exportsettings.h"
#include "formats/fileformats.h"
#include "tools/sim/loggersimulator.h"
#include "trackcompare.h"
#include "view/mapwidget.h"
#include "windowtest.h"
#include <QMessageBox>

#include <QActionGroup>
#include <QComboBox>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTreeWidget>
#include <QtTest>

namespace {

struct FaultChoice
{
    const char *name;
    bool none;
    LoggerSimulator::Fault fault;
};

const FaultChoice Faults[] = {
    {"none", true, LoggerSimulator::Fault::NoReply},
    {"lost reply", false, LoggerSimulator::Fault::NoReply},
    {"bad checksum", false, LoggerSimulator::Fault::BadChecksum},
    {"stray byte", false, LoggerSimulator::Fault::StrayByte},
    {"reply cut short", false, LoggerSimulator::Fault::CutShort},
    {"block without second frame", false, LoggerSimulator::Fault::NoSecondFrame},
    {"wrong message id", false, LoggerSimulator::Fault::WrongId},
    {"line closed", false, LoggerSimulator::Fault::CloseLine},
};

int runs()
{
    const int n = qEnvironmentVariableIntValue("LX300_SOAK_RUNS");
    return n > 0 ? n : 20;
}

quint32 seed()
{
    const int s = qEnvironmentVariableIntValue("LX300_SOAK_SEED");
    return s > 0 ? quint32(s) : 20261206u;
}

long rssKb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return 0;
}

// A logger with three tracks and one fault on a random request: half the
// runs have none; the others hit a block, the listing or the greeting.
LoggerSimulator *makeLogger(QRandomGenerator &random, const FaultChoice **chosen)
{
    auto *sim = new LoggerSimulator;
    sim->setTracks({LoggerSimulator::makeTrack(2, 200, 1, 1239437700),
                    LoggerSimulator::makeTrack(1, 120, 2, 1239524100),
                    LoggerSimulator::makeTrack(2, 64, 3, 1239610500)});
    sim->setPageSize(int(random.bounded(1, 8)));
    const bool faulty = random.bounded(2) == 1;
    const int kind = faulty ? 1 + int(random.bounded(int(std::size(Faults)) - 1)) : 0;
    *chosen = &Faults[kind];
    if (faulty) {
        const quint8 commands[] = {0xB5, 0xB5, 0xB5, 0xBB, 0xBF};
        const quint8 command = commands[random.bounded(int(std::size(commands)))];
        const int skip = command == 0xB5 ? int(random.bounded(8)) : 0;
        sim->addFault({Faults[kind].fault, command, skip, 1});
    }
    return sim;
}

} // namespace

class TestSoak : public QObject
{
    Q_OBJECT

public:
    static void initMain() { prepareWindowTest(); }

private slots:
    void commandLineDownloads();
    void windowDownloads();
};

void TestSoak::commandLineDownloads()
{
    QRandomGenerator random(seed());
    QTemporaryDir dir;
    QMap<QString, QPair<int, int>> outcomes; // fault -> (exact, refused)
    FixedExportSettings settings;
    const FileFormatMap formats = createFileFormats(&settings);
    for (int run = 0; run < runs(); ++run) {
        const FaultChoice *fault = nullptr;
        QScopedPointer<LoggerSimulator> sim(makeLogger(random, &fault));
        QVERIFY(sim->start());
        const QString out = dir.filePath(QStringLiteral("run%1.tkr").arg(run));
        QProcess cli;
        cli.start(QStringLiteral(LX300_CLI),
                  {"download", "--port", sim->portPath(), "--output", out});
        QVERIFY(cli.waitForFinished(60000));
        const QString err = QString::fromUtf8(cli.readAllStandardError());
        if (cli.exitCode() == 0) {
            const QString reference = dir.filePath(QStringLiteral("reference.tkr"));
            QVERIFY(
                writeTracks(formats, sim->expectedTracks({0, 1, 2}), reference, {0, 1, 2}, false));
            QFile a(out), b(reference);
            QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
            QVERIFY2(a.readAll() == b.readAll(), fault->name);
            ++outcomes[QLatin1String(fault->name)].first;
            QFile::remove(out);
        } else {
            QCOMPARE(cli.exitCode(), 1);
            QVERIFY2(err == "Read device data timeout.\n" || err == "Failed connect device.\n",
                     qPrintable(err));
            QVERIFY(!QFile::exists(out));
            ++outcomes[QLatin1String(fault->name)].second;
        }
        // Nothing half-written is left behind, not even a temporary file.
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{} << (QFile::exists(dir.filePath("reference.tkr"))
                                       ? QStringList{"reference.tkr"}
                                       : QStringList{}));
    }
    qDeleteAll(formats);
    for (auto it = outcomes.cbegin(); it != outcomes.cend(); ++it)
        qInfo("command line, %s: %d exact, %d refused with the program's error",
              qPrintable(it.key()), it.value().first, it.value().second);
}

void TestSoak::windowDownloads()
{
    QRandomGenerator random(seed() + 1);
    MainWindow window;
    window.show();
    // A user who ticks every track and closes every message box.
    QStringList messages;
    QTimer user;
    connect(&user, &QTimer::timeout, this, [&] {
        QWidget *top = QApplication::activeModalWidget();
        if (auto *box = qobject_cast<QMessageBox *>(top)) {
            messages << box->text();
            box->done(QMessageBox::Ok);
        } else if (auto *dialog = qobject_cast<TrackFileHeaderDialog *>(top)) {
            dialog->tree()->topLevelItem(0)->setCheckState(0, Qt::Checked);
            dialog->Apply();
        } else if (top == window.progressDialog && !messages.isEmpty()) {
            window.progressDialog->close(); // after a warning it stays until closed
        }
    });
    user.start(20);

    QMap<QString, QPair<int, int>> outcomes;
    long rssAfterWarmUp = 0;
    for (int run = 0; run < runs(); ++run) {
        const FaultChoice *fault = nullptr;
        QScopedPointer<LoggerSimulator> sim(makeLogger(random, &fault));
        QVERIFY(sim->start());
        FakePorts::set({{sim->portPath(), QStringLiteral("USB (%1)").arg(sim->portPath())}});
        QTRY_COMPARE_WITH_TIMEOUT(window.portComboBox->count(), 1, 3000);
        QTRY_COMPARE_WITH_TIMEOUT(window.portComboBox->currentText(), sim->portPath(), 3000);
        messages.clear();
        window.connectButton->click();
        QTRY_VERIFY_WITH_TIMEOUT(window.deviceActionGroup->isEnabled() || !messages.isEmpty(),
                                 8000);
        if (!messages.isEmpty()) {
            QCOMPARE(messages, QStringList{"Failed connect device."});
            QTRY_VERIFY(!window.device->isConnected());
            ++outcomes[QLatin1String(fault->name)].second;
            continue;
        }

        window.receivedBlockCount = 0;
        window.downloadBlockIndexes.clear();
        window.downloadAct->trigger();
        // Either every block arrives and the views are rebuilt, or a warning comes.
        QTRY_VERIFY_WITH_TIMEOUT(!messages.isEmpty() || (!window.downloadBlockIndexes.isEmpty() &&
                                                         window.receivedBlockCount ==
                                                             window.downloadBlockIndexes.size() &&
                                                         !window.progressDialog->isVisible()),
                                 15000);
        if (messages.isEmpty()) {
            QVERIFY2(samePoints(window.tracks, sim->expectedTracks({0, 1, 2}), true), fault->name);
            ++outcomes[QLatin1String(fault->name)].first;
        } else {
            QCOMPARE(messages, QStringList{"Read device data timeout."});
            ++outcomes[QLatin1String(fault->name)].second;
        }
        QTRY_VERIFY(QApplication::activeModalWidget() == nullptr);
        window.connectButton->click(); // disconnect
        QVERIFY(!window.device->isConnected());
        if (run == qMin(4, runs() - 1))
            rssAfterWarmUp = rssKb();
    }
    user.stop();
    const long rssEnd = rssKb();
    for (auto it = outcomes.cbegin(); it != outcomes.cend(); ++it)
        qInfo("window, %s: %d exact, %d stopped with the program's error", qPrintable(it.key()),
              it.value().first, it.value().second);
    qInfo("window memory: %ld kB after 5 runs, %ld kB after %d", rssAfterWarmUp, rssEnd, runs());
    QVERIFY2(rssEnd - rssAfterWarmUp < 40 * 1024, "memory grows over the soak");
}

QTEST_MAIN(TestSoak)
#include "tst_soak.moc"
