// Downloads from the simulated logger with faults, through the command-line tool and the
// window. Each ends with every track exactly right, or with the program's own error and
// nothing written. The fixed table and a short window loop always run; the random soak runs
// as tst_soak_random when LX300_SOAK_RUNS is set (LX300_SOAK_SEED picks the seed).
#include "app/mainwindow.h"
#include "app/trackfileheaderdialog.h"
#include "device/devicelx300.h"
#include "formats/fileformattkr.h"
#include "testfiles.h"
#include "tools/sim/loggersimulator.h"
#include "trackcompare.h"
#include "windowtest.h"

#include <QActionGroup>
#include <QComboBox>
#include <QMessageBox>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTreeWidget>
#include <QtTest>

namespace {
using Fault = LoggerSimulator::Fault;
using Rule = LoggerSimulator::FaultRule;
const Fault Kinds[] = {Fault::NoReply,       Fault::BadChecksum, Fault::StrayByte, Fault::CutShort,
                       Fault::NoSecondFrame, Fault::WrongId,     Fault::CloseLine};

LoggerSimulator *makeLogger(int pageSize, const QVector<Rule> &faults)
{
    auto *sim = new LoggerSimulator;
    sim->setTracks({LoggerSimulator::makeTrack(2, 200, 1, 1239437700),
                    LoggerSimulator::makeTrack(1, 120, 2, 1239524100),
                    LoggerSimulator::makeTrack(2, 64, 3, 1239610500)});
    sim->setPageSize(pageSize);
    for (const Rule &f : faults)
        sim->addFault(f);
    return sim;
}

long rssKb()
{
    for (const QByteArray &line : readAll(QStringLiteral("/proc/self/status")).split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return 0;
}
} // namespace
Q_DECLARE_METATYPE(QVector<Rule>)

class TestSoak : public QObject
{
    Q_OBJECT
public:
    static void initMain() { prepareWindowTest(); }

private slots:
    void initTestCase()
    {
        if (randomOnly && randomRuns == 0)
            QSKIP("the random soak runs when LX300_SOAK_RUNS is set");
    }
    void commandLine_data();
    void commandLine();
    void window();

private:
    // The outcome of one download through the tool: "exact", or its error text.
    QString download(LoggerSimulator *sim);
    QTemporaryDir dir;
    QRandomGenerator random{quint32(qEnvironmentVariableIntValue("LX300_SOAK_SEED") + 20261206)};
    const bool randomOnly = qEnvironmentVariableIsSet("LX300_SOAK_RANDOM_ONLY");
    const int randomRuns = randomOnly ? qEnvironmentVariableIntValue("LX300_SOAK_RUNS") : 0;
};

QString TestSoak::download(LoggerSimulator *sim)
{
    const QString out = dir.filePath(QStringLiteral("run.tkr"));
    QProcess cli;
    cli.start(QStringLiteral(LX300_CLI), {"download", "--port", sim->portPath(), "--output", out});
    if (!cli.waitForFinished(60000))
        return QStringLiteral("hung");
    QString outcome = QString::fromUtf8(cli.readAllStandardError()).trimmed();
    QVector<Track> got;
    if (cli.exitCode() == 0) {
        const bool exact =
            FileFormatTKR().read(got, out) && samePoints(got, sim->expectedTracks({0, 1, 2}));
        outcome = exact && QFile::remove(out) ? "exact" : "wrong file";
    } else if (cli.exitCode() != 1) {
        outcome = QStringLiteral("status %1").arg(cli.exitCode());
    }
    // Nothing half-written is left behind, not even a temporary file.
    if (!QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty())
        outcome += QStringLiteral(", files left");
    return outcome;
}

void TestSoak::commandLine_data()
{
    QTest::addColumn<QVector<Rule>>("faults");
    QTest::addColumn<QStringList>("outcomes");
    const QStringList exact{"exact"};
    if (!randomOnly) {
        QTest::newRow("no fault") << QVector<Rule>{} << exact;
        QTest::newRow("wrong id on one block")
            << QVector<Rule>{{Fault::WrongId, 0xB5, 2, 1}} << exact;
        QTest::newRow("lost hello reply") << QVector<Rule>{{Fault::NoReply, 0xBF, 0, 1}} << exact;
        QTest::newRow("lost block reply") << QVector<Rule>{{Fault::NoReply, 0xB5, 4, 1}}
                                          << QStringList{"Read device data timeout."};
    }
    for (int run = 0; run < randomRuns; ++run) { // half without a fault
        QVector<Rule> faults;
        if (random.bounded(2)) {
            const quint8 commands[] = {0xB5, 0xB5, 0xB5, 0xBB, 0xBF};
            const quint8 command = commands[random.bounded(5)];
            faults.append({Kinds[random.bounded(7)], command,
                           command == 0xB5 ? int(random.bounded(8)) : 0, 1});
        }
        QTest::addRow("random %d", run)
            << faults
            << QStringList{"exact", "Read device data timeout.", "Failed connect device."};
    }
}

void TestSoak::commandLine()
{
    QFETCH(QVector<Rule>, faults);
    QFETCH(QStringList, outcomes);
    QScopedPointer<LoggerSimulator> sim(makeLogger(1 + int(random.bounded(7)), faults));
    QVERIFY(sim->start());
    const QString outcome = download(sim.data());
    QVERIFY2(outcomes.contains(outcome), qPrintable(outcome));
}

// Downloads in a row through the window: each exact or warned, and memory stays flat.
void TestSoak::window()
{
    MainWindow window;
    window.show();
    QStringList messages;
    QTimer user; // ticks every track and closes every message box
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
    const int runs = randomOnly ? randomRuns : 4;
    long warm = 0;
    for (int run = 0; run < runs; ++run) {
        QVector<Rule> faults;
        if (randomRuns > 0 && random.bounded(2))
            faults.append({Kinds[random.bounded(7)], 0xB5, int(random.bounded(8)), 1});
        QScopedPointer<LoggerSimulator> sim(makeLogger(3, faults));
        QVERIFY(sim->start());
        FakePorts::set({{sim->portPath(), QStringLiteral("USB (%1)").arg(sim->portPath())}});
        QTRY_COMPARE_WITH_TIMEOUT(window.portComboBox->currentText(), sim->portPath(), 3000);
        messages.clear();
        window.connectButton->click();
        QTRY_VERIFY_WITH_TIMEOUT(window.deviceActionGroup->isEnabled(), 8000);
        window.receivedBlockCount = 0;
        window.downloadBlockIndexes.clear();
        window.downloadAct->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!messages.isEmpty() || (!window.downloadBlockIndexes.isEmpty() &&
                                                         window.receivedBlockCount ==
                                                             window.downloadBlockIndexes.size() &&
                                                         !window.progressDialog->isVisible()),
                                 15000);
        if (messages.isEmpty())
            QVERIFY(samePoints(window.tracks, sim->expectedTracks({0, 1, 2}), true));
        else
            QCOMPARE(messages, QStringList{"Read device data timeout."});
        QTRY_VERIFY(QApplication::activeModalWidget() == nullptr);
        window.connectButton->click(); // disconnect
        if (run == 1)
            warm = rssKb();
    }
    qInfo("window memory: %ld kB after 2 downloads, %ld kB after %d", warm, rssKb(), runs);
    QVERIFY2(rssKb() - warm < 20 * 1024, "memory grows with each download");
}

QTEST_MAIN(TestSoak)
#include "tst_soak.moc"
