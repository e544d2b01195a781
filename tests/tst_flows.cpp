#include "app/devicesettingdialog.h"
#include "app/filterdialog.h"
#include "app/mainwindow.h"
#include "app/myfiledialog.h"
#include "app/trackfileheaderdialog.h"
#include "device/detectdevicethread.h"
#include "device/devicelx300.h"
#include "modalanswerer.h"
#include "tools/sim/loggersimulator.h"
#include "trackcompare.h"
#include "view/googlemapoperator.h"
#include "view/mapwidget.h"
#include "windowtest.h"

#include <QAction>
#include <QActionGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeView>
#include <QTreeWidget>
#include <QtTest>

namespace {

const quint32 Start2009 = 1239437700;

QByteArray readAll(const QString &name)
{
    QFile f(name);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

// What a user types into the file dialog's name field. (selectFile() leaves
// a focused field alone.)
void typeFileName(QFileDialog *dialog, const QString &path)
{
    dialog->setDirectory(QFileInfo(path).absolutePath());
    dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(path);
}

} // namespace

class TestFlows : public QObject
{
    Q_OBJECT

public:
    static void initMain() { prepareWindowTest(); }

private slots:
    void init();
    void cleanup();

    void portAppearsAndConnects();
    void silentLoggerFailsAndReturnsToIdle();
    void vanishedPortDisconnectsSilently();
    void downloadTwoOfThree();
    void lostReplyStopsTheDownload();
    void deleteConfirmedAndRefused();
    void settingsReadEditedWritten();
    void settingsOutOfRangeKeepTheDialogOpen();
    void saveInEachFormat_data();
    void saveInEachFormat();
    void saveNameRules_data();
    void saveNameRules();
    void openSavedFileAndFailedOpen();
    void filterFromTheDialog_data();
    void filterFromTheDialog();
    void invalidFilterChangesNothing();
    void unitChangeReappliesTheFilter();
    void playButtonFollowsPlayback();

private:
    void connectToSimulator();
    void openSample();
    void saveAs(const QString &filter, const QString &name, bool markedOnly, bool warned = false);
    void runFilter(int radio, const QString &text);

    QScopedPointer<QTemporaryDir> dir;
    QScopedPointer<LoggerSimulator> sim;
    MainWindow *window = nullptr;
    ModalAnswerer *answer = nullptr;
};

void TestFlows::init()
{
    dir.reset(new QTemporaryDir);
    sim.reset(new LoggerSimulator);
    sim->setTracks({LoggerSimulator::makeTrack(2, 150, 1, Start2009),
                    LoggerSimulator::makeTrack(1, 230, 2, Start2009 + 86400),
                    LoggerSimulator::makeTrack(2, 90, 3, Start2009 + 2 * 86400)});
    QVERIFY(sim->start());
    FakePorts::set({});
    window = new MainWindow;
    window->show();
    answer = new ModalAnswerer;
}

void TestFlows::cleanup()
{
    delete answer;
    delete window;
    sim.reset();
}

void TestFlows::connectToSimulator()
{
    FakePorts::set({{sim->portPath(), QStringLiteral("LX-300 USB GPS (%1)").arg(sim->portPath())}});
    QTRY_VERIFY_WITH_TIMEOUT(window->connectButton->isEnabled(), 3000);
    QCOMPARE(window->portComboBox->currentText(), sim->portPath());
    window->connectButton->click();
    QTRY_VERIFY_WITH_TIMEOUT(window->deviceActionGroup->isEnabled(), 3000);
}

void TestFlows::openSample()
{
    QVERIFY(window->openFile(QStringLiteral(LX300_SAMPLE)));
    QCOMPARE(window->tracks.size(), 3);
}

void TestFlows::portAppearsAndConnects()
{
    QTest::qWait(1200);
    QVERIFY(!window->connectButton->isEnabled());
    QCOMPARE(window->portComboBox->count(), 0);
    FakePorts::set({{QStringLiteral("ttyS0"), QStringLiteral("Communications Port (ttyS0)")},
                    {sim->portPath(), QStringLiteral("LX-300 USB GPS (%1)").arg(sim->portPath())}});
    QTRY_VERIFY_WITH_TIMEOUT(window->connectButton->isEnabled(), 3000);
    QCOMPARE(window->portComboBox->count(), 1); // the USB one only
    QTest::qWait(1200);
    QCOMPARE(window->portComboBox->count(), 1); // repeated reports add nothing

    sim->setHelloAnswerFrom(2);
    window->connectButton->click();
    QCOMPARE(window->connectButton->text(), QStringLiteral("Disconnect"));
    QVERIFY(!window->portComboBox->isEnabled());
    QVERIFY(!window->deviceActionGroup->isEnabled()); // until the logger answers
    QTest::qWait(700);
    QVERIFY(!window->deviceActionGroup->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(window->deviceActionGroup->isEnabled(), 3000);

    window->connectButton->click(); // Disconnect
    QCOMPARE(window->connectButton->text(), QStringLiteral("Connect"));
    QVERIFY(window->portComboBox->isEnabled());
    QVERIFY(!window->deviceActionGroup->isEnabled());
    QVERIFY(!window->device->isConnected());
}

void TestFlows::silentLoggerFailsAndReturnsToIdle()
{
    sim->setSilent(true);
    FakePorts::set({{sim->portPath(), QStringLiteral("USB (%1)").arg(sim->portPath())}});
    QTRY_VERIFY_WITH_TIMEOUT(window->connectButton->isEnabled(), 3000);
    answer->answerMessage();
    window->connectButton->click();
    QTRY_VERIFY_WITH_TIMEOUT(answer->idle(), 8000);
    QCOMPARE(answer->messages, QStringList{"Failed connect device."});
    QCOMPARE(answer->icons.first(), QMessageBox::Warning);
    QTRY_COMPARE_WITH_TIMEOUT(window->connectButton->text(), QStringLiteral("Connect"), 1000);
    QVERIFY(window->portComboBox->isEnabled());
    QVERIFY(!window->deviceActionGroup->isEnabled());
    QVERIFY(!window->device->isConnected());
}

void TestFlows::vanishedPortDisconnectsSilently()
{
    connectToSimulator();
    FakePorts::set({});
    QTRY_VERIFY_WITH_TIMEOUT(!window->device->isConnected(), 3000);
    QCOMPARE(window->portComboBox->count(), 0);
    QVERIFY(!window->connectButton->isEnabled());
    QCOMPARE(window->connectButton->text(), QStringLiteral("Connect"));
    QVERIFY(!window->deviceActionGroup->isEnabled());
    QTest::qWait(100);
    QVERIFY(answer->messages.isEmpty());
}

void TestFlows::downloadTwoOfThree()
{
    connectToSimulator();
    answer->then([](QWidget *w) {
        auto *dialog = qobject_cast<TrackFileHeaderDialog *>(w);
        if (!dialog)
            return false;
        QTreeWidgetItem *root = dialog->tree()->topLevelItem(0);
        if (root->childCount() != 3)
            return false;
        root->child(0)->setCheckState(0, Qt::Checked);
        root->child(2)->setCheckState(0, Qt::Checked);
        dialog->Apply();
        return true;
    });
    QSignalSpy rebuilt(window->mapWidget->mapOperator(), &GoogleMapOperator::deleteAllObject);
    window->downloadAct->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(rebuilt.size(), 1, 15000);
    // 3 blocks of track 1 and 2 of track 3; the dialog closed by itself.
    QCOMPARE(window->progressDialog->maximum(), 5);
    QTRY_VERIFY_WITH_TIMEOUT(!window->progressDialog->isVisible(), 2000);
    QVERIFY(QApplication::activeModalWidget() == nullptr);

    QVERIFY(samePoints(window->tracks, sim->expectedTracks({0, 2})));
    QCOMPARE(window->mapWidget->trackTree()->topLevelItem(0)->childCount(), 2);
    QCOMPARE(quint8(sim->requests().last()[0]), quint8(0xB7)); // end of the download
    QVERIFY(answer->messages.isEmpty());
}

void TestFlows::lostReplyStopsTheDownload()
{
    connectToSimulator();
    sim->addFault({LoggerSimulator::Fault::NoReply, 0xB5, 2, 1});
    answer->then([](QWidget *w) {
        auto *dialog = qobject_cast<TrackFileHeaderDialog *>(w);
        if (!dialog)
            return false;
        dialog->tree()->topLevelItem(0)->setCheckState(0, Qt::Checked); // all three
        dialog->Apply();
        return true;
    });
    answer->answerMessage();
    // After the warning the progress dialog stays until the user closes it.
    answer->then([](QWidget *w) {
        auto *progress = qobject_cast<QProgressDialog *>(w);
        if (!progress)
            return false;
        progress->close();
        return true;
    });
    window->downloadAct->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(answer->idle(), 15000);
    QCOMPARE(answer->messages, QStringList{"Read device data timeout."});
    QCOMPARE(window->receivedBlockCount, 2);
    int blockRequests = 0;
    for (const QByteArray &r : sim->requests())
        blockRequests += quint8(r[0]) == 0xB5;
    QCOMPARE(blockRequests, 3);                      // nothing asked after the lost one
    QVERIFY(window->deviceActionGroup->isEnabled()); // a time-out changes no state
}

void TestFlows::deleteConfirmedAndRefused()
{
    connectToSimulator();
    answer->then([](QWidget *w) {
        auto *box = qobject_cast<QMessageBox *>(w);
        if (!box || box->text() != QStringLiteral("Delete device all track points."))
            return false;
        box->done(QMessageBox::No);
        return true;
    });
    window->deleteAct->trigger();
    QVERIFY(answer->idle());
    QCOMPARE(sim->tracks().size(), 3);

    bool disabledWhileWaiting = false;
    answer->answerMessage(QMessageBox::Yes);
    answer->then([&](QWidget *w) {
        auto *box = qobject_cast<QMessageBox *>(w);
        if (!box)
            return false;
        disabledWhileWaiting = !window->deviceActionGroup->isEnabled();
        answer->messages << box->text();
        box->done(QMessageBox::Ok);
        return true;
    });
    window->deleteAct->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(answer->idle(), 5000);
    QCOMPARE(answer->messages.last(), QStringLiteral("Delete all track files ok."));
    QVERIFY(disabledWhileWaiting);
    QTRY_VERIFY(window->deviceActionGroup->isEnabled());
    QCOMPARE(sim->tracks().size(), 0);

    sim->setDeleteResult(0);
    answer->answerMessage(QMessageBox::Yes);
    window->deleteAct->trigger();
    QTest::qWait(1500);
    QVERIFY(!window->deviceActionGroup->isEnabled()); // refused: stays disabled
}

void TestFlows::settingsReadEditedWritten()
{
    connectToSimulator();
    QString shownTime;
    QString shownMemory;
    answer->then([&](QWidget *w) {
        auto *dialog = qobject_cast<DeviceSettingDialog *>(w);
        if (!dialog)
            return false;
        auto *time = dialog->findChild<QLineEdit *>(QStringLiteral("timeIntervalEdit"));
        shownTime = time->text();
        time->setText(QStringLiteral("30"));
        shownMemory = dialog->findChild<QLabel *>(QStringLiteral("memoryUsageLabel"))->text();
        dialog->apply();
        return true;
    });
    answer->answerMessage();
    window->deviceSettingAct->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(answer->idle(), 5000);
    QCOMPARE(shownTime, QStringLiteral("5"));
    QCOMPARE(shownMemory, QStringLiteral("37%"));
    QCOMPARE(answer->messages, QStringList{"Set device configuration ok."});
    QCOMPARE(answer->icons.first(), QMessageBox::Information);
    const QByteArray stored = sim->configReply();
    QCOMPARE(stored.mid(12, 4).toHex(), QByteArray("00007530"));         // 30 s
    QCOMPARE(stored.mid(33, 8).toHex(), QByteArray("cafebabe0badf00d")); // unshown, kept
}

void TestFlows::settingsOutOfRangeKeepTheDialogOpen()
{
    connectToSimulator();
    bool stillOpen = false;
    QPointer<DeviceSettingDialog> seen;
    answer->then([&](QWidget *w) {
        auto *dialog = qobject_cast<DeviceSettingDialog *>(w);
        if (!dialog)
            return false;
        seen = dialog;
        // Typed, so the field can undo it.
        auto *time = dialog->findChild<QLineEdit *>(QStringLiteral("timeIntervalEdit"));
        time->selectAll();
        QTest::keyClicks(time, QStringLiteral("0"));
        QTimer::singleShot(0, dialog, &DeviceSettingDialog::apply);
        return true;
    });
    answer->answerMessage();
    answer->then([&](QWidget *w) {
        if (w != seen)
            return false;
        stillOpen = w->isVisible();
        // The field went back to what it showed before the edit.
        answer->messages << w->findChild<QLineEdit *>(QStringLiteral("timeIntervalEdit"))->text();
        static_cast<QDialog *>(w)->reject();
        return true;
    });
    window->deviceSettingAct->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(answer->idle(), 5000);
    QVERIFY(stillOpen);
    QCOMPARE(answer->messages, (QStringList{"The value range is 1 ~ 1800", "5"}));
    QTest::qWait(300);
    for (const QByteArray &r : sim->requests())
        QVERIFY(quint8(r[0]) != 0xB8); // nothing written
}

void TestFlows::saveAs(const QString &filter, const QString &name, bool markedOnly, bool warned)
{
    answer->then([=](QWidget *w) {
        auto *dialog = qobject_cast<MyFileDialog *>(w);
        if (!dialog)
            return false;
        dialog->selectNameFilter(filter);
        typeFileName(dialog, name);
        dialog->markedOnlyBox()->setChecked(markedOnly);
        static_cast<QDialog *>(dialog)->accept();
        return true;
    });
    if (warned)
        answer->answerMessage();
    window->saveAct->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(answer->idle(), 5000);
}

void TestFlows::saveInEachFormat_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<bool>("markedOnly");
    for (const bool marked : {false, true}) {
        const char *suffix = marked ? ", marked only" : "";
        QTest::addRow("tkr%s", suffix) << "TKR File (*.tkr)"
                                       << ".tkr" << marked;
        QTest::addRow("gpx%s", suffix) << "GPX File (*.gpx)"
                                       << ".gpx" << marked;
        QTest::addRow("kml%s", suffix) << "KML File (*.kml)"
                                       << ".kml" << marked;
        QTest::addRow("csv%s", suffix) << "CSV File (*.csv)"
                                       << ".csv" << marked;
    }
}

void TestFlows::saveInEachFormat()
{
    QFETCH(QString, filter);
    QFETCH(QString, extension);
    QFETCH(bool, markedOnly);
    openSample();
    QTreeWidgetItem *root = window->mapWidget->trackTree()->topLevelItem(0);
    root->child(0)->setCheckState(0, Qt::Checked);
    root->child(2)->setCheckState(0, Qt::Checked);
    saveAs(filter, dir->filePath("trip"), markedOnly);
    QVERIFY(answer->messages.isEmpty());

    const QString reference = dir->filePath("reference") + extension;
    QVERIFY(writeTracks(window->fileFormats, window->tracks, reference, {0, 2}, markedOnly));
    QCOMPARE(readAll(dir->filePath("trip") + extension), readAll(reference));
    QCOMPARE(window->directory, dir->path());
}

void TestFlows::saveNameRules_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("written");
    QTest::newRow("trip -> trip.csv") << "CSV File (*.csv)"
                                      << "trip"
                                      << "trip.csv";
    QTest::newRow("trip.CSV -> trip.CSV.csv") << "CSV File (*.csv)"
                                              << "trip.CSV"
                                              << "trip.CSV.csv";
    QTest::newRow("trip.csv with KML") << "KML File (*.kml)"
                                       << "trip.csv"
                                       << "trip.csv.kml";
    QTest::newRow("a.gpx.old writes nothing") << "GPX File (*.gpx)"
                                              << "a.gpx.old"
                                              << "";
}

void TestFlows::saveNameRules()
{
    QFETCH(QString, filter);
    QFETCH(QString, name);
    QFETCH(QString, written);
    openSample();
    saveAs(filter, dir->filePath(name), false, written.isEmpty());
    const QStringList files = QDir(dir->path()).entryList(QDir::Files);
    if (written.isEmpty()) {
        QCOMPARE(files, QStringList{});
        QCOMPARE(answer->icons.value(0), QMessageBox::Warning);
        QVERIFY(answer->messages.value(0).contains(name));
    } else {
        QCOMPARE(files, QStringList{written});
    }
}

void TestFlows::openSavedFileAndFailedOpen()
{
    openSample();
    window->mapWidget->trackTree()->topLevelItem(0)->setCheckState(0, Qt::Checked);
    saveAs("TKR File (*.tkr)", dir->filePath("all"), false);
    const QVector<Track> saved = window->tracks;
    window->tracks.clear();
    window->mapWidget->rebuildTrackViews();

    answer->then([&](QWidget *w) {
        auto *dialog = qobject_cast<QFileDialog *>(w);
        if (!dialog)
            return false;
        typeFileName(dialog, dir->filePath("all.tkr"));
        static_cast<QDialog *>(dialog)->accept();
        return true;
    });
    window->openAct->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(answer->idle(), 5000);
    QVERIFY(samePoints(window->tracks, saved));
    QCOMPARE(window->mapWidget->trackTree()->topLevelItem(0)->childCount(), 3);

    // A damaged file: a warning that names it, and the tracks stay.
    QByteArray bytes = readAll(dir->filePath("all.tkr"));
    bytes.chop(10);
    {
        QFile f(dir->filePath("cut.tkr"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    answer->answerMessage();
    QVERIFY(!window->openFile(dir->filePath("cut.tkr")));
    QCOMPARE(answer->icons.value(0), QMessageBox::Warning);
    QVERIFY(answer->messages.value(0).contains("cut.tkr"));
    QVERIFY(samePoints(window->tracks, saved));
    QCOMPARE(window->mapWidget->trackTree()->topLevelItem(0)->childCount(), 3);

    answer->answerMessage();
    QVERIFY(!window->openFile(dir->filePath("TRIP.TKR")));
    QVERIFY(answer->messages.value(1).contains("TRIP.TKR"));
    QCOMPARE(window->tracks.size(), 3);
}

void TestFlows::runFilter(int radio, const QString &text)
{
    answer->then([=](QWidget *w) {
        auto *dialog = qobject_cast<FilterDialog *>(w);
        if (!dialog)
            return false;
        const char *names[] = {"radioGreater", "radioGreaterEqual", "radioEqual",
                               "radioLess",    "radioLessEqual",    "radioMarkPoint"};
        dialog->findChild<QRadioButton *>(QLatin1String(names[radio - 1]))->click();
        auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("lineEdit"));
        if (edit->isEnabled() != (radio != 6))
            qWarning("the value field should be off exactly for mark points");
        edit->setText(text);
        dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
        return true;
    });
    window->filterAct->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(answer->idle(), 5000);
}

void TestFlows::filterFromTheDialog_data()
{
    QTest::addColumn<int>("radio");
    QTest::addColumn<QString>("value");
    QTest::newRow(">") << 1 << "30";
    QTest::newRow(">=") << 2 << "30";
    QTest::newRow("=") << 3 << "30";
    QTest::newRow("<") << 4 << "30.5";
    QTest::newRow("<=") << 5 << "0";
    QTest::newRow("marks, text ignored") << 6 << "";
}

void TestFlows::filterFromTheDialog()
{
    QFETCH(int, radio);
    QFETCH(QString, value);
    openSample();
    QTreeWidgetItem *first = window->mapWidget->trackTree()->topLevelItem(0)->child(0);
    window->mapWidget->trackTree()->setCurrentItem(first);
    runFilter(radio, value);
    const float threshold = value.toFloat() * 100.0f;
    QVector<TrackPoint> expected;
    for (const TrackPoint &p : window->tracks[0].points) {
        const double s = p.speed;
        const bool keep = radio == 1   ? s > threshold
                          : radio == 2 ? s >= threshold
                          : radio == 3 ? s == threshold
                          : radio == 4 ? s < threshold
                          : radio == 5 ? s <= threshold
                                       : p.marked != 0;
        if (keep)
            expected.append(p);
    }
    QCOMPARE(window->mapWidget->listedPoints().size(), expected.size());
    if (radio == 6)
        QCOMPARE(expected.size(), 10);
}

void TestFlows::invalidFilterChangesNothing()
{
    openSample();
    QTreeWidgetItem *first = window->mapWidget->trackTree()->topLevelItem(0)->child(0);
    window->mapWidget->trackTree()->setCurrentItem(first);
    runFilter(6, QString());
    QCOMPARE(window->mapWidget->listedPoints().size(), 10);
    for (const QString &bad : {QStringLiteral("-5"), QStringLiteral("fast"), QString()}) {
        runFilter(1, bad);
        QCOMPARE(window->mapWidget->listedPoints().size(), 10);
        QCOMPARE(window->mapWidget->filterRuleInForce(), 6);
    }
}

void TestFlows::unitChangeReappliesTheFilter()
{
    openSample();
    QTreeWidgetItem *first = window->mapWidget->trackTree()->topLevelItem(0)->child(0);
    window->mapWidget->trackTree()->setCurrentItem(first);
    runFilter(1, "30");
    const int kept = int(window->mapWidget->listedPoints().size());
    window->milesAct->trigger(); // 30 still means km/h
    QCOMPARE(window->mapWidget->listedPoints().size(), kept);
    const QString speed = window->mapWidget->pointList()->model()->index(0, 6).data().toString();
    QVERIFY2(speed.endsWith("mi/hr"), qPrintable(speed));
}

void TestFlows::playButtonFollowsPlayback()
{
    openSample();
    QTreeWidgetItem *third = window->mapWidget->trackTree()->topLevelItem(0)->child(2);
    window->mapWidget->trackTree()->setCurrentItem(third);
    runFilter(6, QString()); // ten points
    window->speedSlider->setValue(2);
    window->playAct->trigger();
    QVERIFY(window->playing);
    QCOMPARE(window->playAct->toolTip(), QStringLiteral("pause"));
    QTest::qWait(400);
    window->playAct->trigger(); // pause
    QVERIFY(!window->playing);
    QCOMPARE(window->playAct->toolTip(), QStringLiteral("play"));
    window->playAct->trigger(); // at once, before the paused run's end is delivered
    QTest::qWait(100);
    QVERIFY(window->playing);
    QTRY_VERIFY_WITH_TIMEOUT(!window->playing, 5000); // ran to the end
    QCOMPARE(window->playAct->toolTip(), QStringLiteral("play"));
    QCOMPARE(window->mapWidget->playbackStart(), 0);
}

QTEST_MAIN(TestFlows)
#include "tst_flows.moc"
