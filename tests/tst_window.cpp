#include "app/deviceflow.h"
#include "app/devicesettingdialog.h"
#include "app/filterdialog.h"
#include "app/mainwindow.h"
#include "app/myfiledialog.h"
#include "app/settinglineedit.h"
#include "app/startoptions.h"
#include "app/trackfileheaderdialog.h"
#include "device/detectdevicethread.h"
#include "device/loggersession.h"
#include "fixtures.h"
#include "formats/fileformats.h"
#include "formats/fileformattkr.h"
#include "library/tracklibrary.h"
#include "simtracks.h"
#include "testfiles.h"
#include "testpage.h"
#include "testsettings.h"
#include "tools/sim/loggersimulator.h"
#include "trackcompare.h"
#include "view/googlemapoperator.h"
#include "view/mapwidget.h"
#include "view/pointlist.h"
#include "view/profilechart.h"
#include "view/statisticstable.h"

#include <QAreaSeries>
#include <QCategoryAxis>
#include <QLineSeries>
#include <QLoggingCategory>
#include <QValueAxis>
#include <QtTest>
#include <QtWidgets>

#include <mutex>

// The serial ports the window's detection thread lists instead of the machine's.
struct FakePorts
{
    static void set(const QList<SerialPortEntry> &ports)
    {
        std::lock_guard<std::mutex> lock(mutex);
        list = ports;
    }
    static QList<SerialPortEntry> get()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return list;
    }
    static inline std::mutex mutex;
    static inline QList<SerialPortEntry> list;
};

// Answers the window's modal dialogs from a timer, since a test cannot step
// past a dialog's own event loop. Each step looks at the top modal widget and
// says whether it was its turn; steps run in order.
class ModalAnswerer : public QObject
{
public:
    using Step = std::function<bool(QWidget *)>;

    ModalAnswerer()
    {
        connect(&timer, &QTimer::timeout, this, [this] {
            QWidget *top = QApplication::activeModalWidget();
            if (top && !steps.isEmpty() && top->isVisible() && steps.first()(top))
                steps.removeFirst();
        });
        timer.start(20);
    }

    void then(const Step &step) { steps.append(step); }

    // Closes the next message box with `button`, noting its text.
    void answerMessage(QMessageBox::StandardButton button = QMessageBox::Ok)
    {
        then([this, button](QWidget *w) {
            auto *box = qobject_cast<QMessageBox *>(w);
            if (!box)
                return false;
            messages << box->text();
            icons << box->icon();
            box->done(button);
            return true;
        });
    }

    bool idle() const { return steps.isEmpty(); }

    QStringList messages;
    QList<QMessageBox::Icon> icons;

private:
    QTimer timer;
    QList<Step> steps;
};

namespace {
QSettings store()
{
    return QSettings(QStringLiteral("Trekmont"), QStringLiteral("LX-300"));
}

// What a user types into the file dialog's name field (selectFile() leaves a focused field alone).
void typeFileName(QFileDialog *dialog, const QString &path)
{
    dialog->setDirectory(QFileInfo(path).absolutePath());
    dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(path);
}

template <typename Dialog> ModalAnswerer::Step on(std::function<void(Dialog *)> act)
{
    return [act](QWidget *w) {
        auto *d = qobject_cast<Dialog *>(w);
        if (d)
            act(d);
        return d != nullptr;
    };
}

long rssKb()
{
    for (const QByteArray &line : readAll(QStringLiteral("/proc/self/status")).split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return 0;
}

int requestsWithId(LoggerSimulator &sim, quint8 id)
{
    const QVector<QByteArray> all = sim.requests();
    return int(std::count_if(all.begin(), all.end(), [id](auto &r) { return quint8(r[0]) == id; }));
}
} // namespace

Q_DECLARE_METATYPE(LoggerSimulator::FaultRule)

class TestWindow : public QObject
{
    Q_OBJECT
public:
    static void initMain()
    {
        prepareGuiTest();
        QLoggingCategory::setFilterRules(QStringLiteral("lx300.*=false\ndefault.debug=false"));
        DetectDeviceThread::setDefaultPortLister(&FakePorts::get);
        qputenv("TZ", "XST-8");
    }

private:
    QScopedPointer<QTemporaryDir> dir;
    QScopedPointer<LoggerSimulator> sim;
    MainWindow *window = nullptr;
    ModalAnswerer *answer = nullptr;
    QString formatNote;   // under the last save dialog
    QString waypointsBox; // its marks box: its text, or "off"
    RandomSoak soak;

    // The window's parts, found as a user's tools find them: by name.
    template <typename T> T *find(const char *name) const
    {
        return window->findChild<T *>(QLatin1String(name));
    }
    QAction *act(const char *name) const { return find<QAction>(name); }
    QPushButton *connectButton() const { return find<QPushButton>("connectButton"); }
    QComboBox *portBox() const { return find<QComboBox>("portComboBox"); }
    QProgressDialog *progress() const { return find<QProgressDialog>("progressDialog"); }
    MapWidget *map() const { return window->findChild<MapWidget *>(); }
    LoggerSession *session() const { return window->findChild<LoggerSession *>(); }
    bool deviceActionsOn() const { return act("downloadAct")->isEnabled(); }
    bool playing() const { return act("playAct")->toolTip() == QLatin1String("pause"); }
    QTreeWidgetItem *root() const
    {
        return map()->findChild<QTreeWidget *>(QStringLiteral("treeWidget"))->topLevelItem(0);
    }
    const QVector<Track> &tracks() const { return window->trackList(); }
    // A detection round, at once rather than at the next second.
    void discovered(const QStringList &ports) const
    {
        window->findChild<DeviceFlow *>()->onDeviceDiscovered(ports);
    }

    void newWindow(const QString &port = QString())
    {
        if (!port.isEmpty())
            FakePorts::set({{port, QStringLiteral("USB (%1)").arg(port)}});
        window = new MainWindow;
        window->show();
        if (!port.isEmpty())
            discovered({port});
    }

    void connectToSimulator()
    {
        newWindow(sim->portPath());
        connectButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(deviceActionsOn(), 3000);
    }

    void openSample()
    {
        newWindow();
        QVERIFY(window->openFile(QStringLiteral(LX300_SAMPLE)));
        QCOMPARE(tracks().size(), 3);
    }

    // The device controls as a user sees them: the button, the port box, the Device actions,
    // and while a connection is tried, the busy cursor and the status bar's word.
    QString controls() const
    {
        const QCursor *cursor = QApplication::overrideCursor();
        return QStringLiteral("%1%2 ports %3%4 actions %5%6")
            .arg(connectButton()->text(), connectButton()->isEnabled() ? "" : " (off)")
            .arg(portBox()->count())
            .arg(portBox()->isEnabled() ? "" : " (off)", deviceActionsOn() ? "on" : "off",
                 cursor && cursor->shape() == Qt::BusyCursor
                     ? " busy, " + window->statusBar()->currentMessage()
                     : window->statusBar()->currentMessage());
    }

    // `then` answers what comes right after the file dialog.
    void saveAs(const QString &filter, const QString &name, WriteOptions options, bool warned,
                QMessageBox::StandardButton answerWith = QMessageBox::Ok,
                const ModalAnswerer::Step &then = {})
    {
        answer->then(on<MyFileDialog>([=](MyFileDialog *d) {
            d->selectNameFilter(filter);
            formatNote = d->findChild<QLabel *>("formatNote")->text();
            auto *box = d->findChild<QCheckBox *>(QStringLiteral("waypointsBox"));
            waypointsBox = box->isEnabled() ? box->text() : QStringLiteral("off");
            typeFileName(d, name);
            d->markedOnlyBox()->setChecked(options.markedOnly);
            d->findChild<QCheckBox *>(QStringLiteral("waypointsBox"))
                ->setChecked(options.marksAsWaypoints);
            static_cast<QDialog *>(d)->accept();
        }));
        if (then)
            answer->then(then);
        if (warned)
            answer->answerMessage(answerWith);
        act("saveAct")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(answer->idle(), 5000);
    }

    void runFilter(int radio, const QString &text)
    {
        answer->then(on<FilterDialog>([=](FilterDialog *d) {
            const char *names[] = {"radioGreater",   "radioGreaterEqual", "radioEqual", "radioLess",
                                   "radioLessEqual", "radioMarkPoint",    "radioAll"};
            d->findChild<QRadioButton *>(QLatin1String(names[radio - 1]))->click();
            auto *edit = d->findChild<QLineEdit *>(QStringLiteral("lineEdit"));
            answer->messages << (edit->isEnabled() ? "on" : "off");
            edit->setText(text);
            d->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
            if (d->isVisible()) { // OK refused: it says why
                answer->messages << d->findChild<QLabel *>("problemLabel")->text();
                d->reject();
            }
        }));
        act("filterAct")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(answer->idle(), 5000);
    }

private slots:
    void initTestCase()
    {
        if (soak.only && soak.runs == 0)
            QSKIP("the random soak runs when LX300_SOAK_RUNS is set");
    }

    void init()
    {
        store().clear();
        dir.reset(new QTemporaryDir);
        sim.reset(new LoggerSimulator);
        loadThreeTracks(*sim);
        QVERIFY(sim->start());
        FakePorts::set({});
        answer = new ModalAnswerer;
    }

    void cleanup()
    {
        delete answer;
        delete window;
        window = nullptr;
        sim.reset();
    }

    // Stored units come back, unknown values as miles, feet and UTC; closing stores them again.
    void preferences()
    {
        const auto units = [this] {
            return QList<int>{int(window->speedUnit()),    int(window->heightUnit()),
                              int(window->timeShown()),    act("milesAct")->isChecked(),
                              act("feetAct")->isChecked(), act("localTimeAct")->isChecked()};
        };
        newWindow();
        QCOMPARE(units(), (QList<int>{0, 0, 1, 0, 0, 1}));
        delete window;
        store().setValue("speedUnit", 5);
        store().setValue("heightUnit", -3);
        store().setValue("timeSwitch", 2);
        newWindow();
        QVERIFY(window->windowState() & Qt::WindowMaximized);
        QCOMPARE(units(), (QList<int>{1, 1, 0, 1, 1, 0}));
        act("kilometersAct")->setChecked(true);            // told apart from the height's feet
        answer->then(on<QFileDialog>([&](QFileDialog *d) { // the folder of a file opened
            typeFileName(d, QStringLiteral(LX300_SAMPLE));
            static_cast<QDialog *>(d)->accept();
        }));
        act("openAct")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(answer->idle(), 5000);
        window->setWindowState(Qt::WindowNoState);
        window->setGeometry(40, 50, 640, 480);
        QVERIFY(window->close());
        QSettings s = store();
        QCOMPARE((QStringList{s.value("directory").toString(), s.value("speedUnit").toString(),
                              s.value("heightUnit").toString(), s.value("timeSwitch").toString()}),
                 (QStringList{QFileInfo(LX300_SAMPLE).absolutePath(), "0", "1", "0"}));
        delete window;
        window = new MainWindow; // the stored geometry comes back
        QCOMPARE(window->size(), QSize(640, 480));
        // One stored on a larger screen is kept inside this one.
        window->setGeometry(300, 200, 1500, 1000);
        QVERIFY(window->close());
        delete window;
        window = new MainWindow;
        QVERIFY(window->screen()->availableGeometry().contains(window->geometry()));
    }

    // Preferences that cannot be saved (a folder where the lock file goes) and a stored count
    // of 100,000,000 map sources: the window opens and closes at once, and says so once.
    void brokenPreferences()
    {
        const QString lock = store().fileName() + ".lock";
        store().setValue("map/sources/size", 100000000);
        store().sync();
        QVERIFY(QDir().mkpath(lock));
        QElapsedTimer clock;
        clock.start();
        newWindow();
        answer->answerMessage();
        QVERIFY(window->close());
        QTRY_VERIFY_WITH_TIMEOUT(answer->idle(), 5000);
        delete window;
        window = nullptr;
        QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(answer->messages.size(), 1);
        QVERIFY(answer->messages[0].startsWith("Your preferences were not saved"));
        QVERIFY(QDir(lock).removeRecursively());
        store().remove("map/sources");
    }

    // The window's reaction to the end of each task of the session, reported directly.
    void outcomes_data()
    {
        using Task = LoggerSession::Task;
        using Outcome = LoggerSession::Outcome;
        QTest::addColumn<Task>("task");
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<QString>("message"); // with its icon
        QTest::addColumn<QString>("after");
        const QString idle = "Connect ports 1 actions off", busy = "Disconnect ports 1 (off) ";
        // The greeting is still under way where it has not ended.
        const QString greeting = " busy, Connecting…";
        QTest::newRow("handshake done")
            << Task::Connect << Outcome::Done << "" << busy + "actions on";
        QTest::newRow("time-out changes no state")
            << Task::ReadConfig << Outcome::TimedOut << "2 Read device data timeout."
            << busy + "actions off" + greeting;
        QTest::newRow("config written")
            << Task::WriteConfig << Outcome::Done << "1 Set device configuration ok."
            << busy + "actions off" + greeting;
        QTest::newRow("all deleted")
            << Task::DeleteAll << Outcome::Done << "1 Delete all track files ok."
            << busy + "actions on" + greeting;
        // The logger kept its tracks: the actions come back.
        QTest::newRow("deletion refused")
            << Task::DeleteAll << Outcome::Refused << "2 The logger did not delete its tracks."
            << busy + "actions on" + greeting;
        // Meanwhile the logger's port goes and another comes: idle on that one.
        QTest::newRow("handshake failed disconnects")
            << Task::Connect << Outcome::HandshakeFailed << "2 Failed connect device."
            << idle + "The logger's line was lost.";
        // The line went: disconnected as a pulled cable is, said when a reply was awaited.
        QTest::newRow("line lost while a reply was awaited")
            << Task::ReadConfig << Outcome::LineLost
            << "2 The logger's line was lost; the tracks shown are kept." << idle;
        // No box for an idle line, but a word in the status bar.
        QTest::newRow("line lost while idle")
            << Task::None << Outcome::LineLost << "" << idle + "The logger's line was lost.";
    }

    void outcomes()
    {
        QFETCH(LoggerSession::Task, task);
        QFETCH(LoggerSession::Outcome, outcome);
        QFETCH(QString, message);
        // A failed greeting is real (a port that does not open); the other reports are the
        // test's, on a logger whose greeting never ends.
        const bool failing = outcome == LoggerSession::Outcome::HandshakeFailed;
        newWindow(failing ? QStringLiteral("/dev/no-such-lx300") : sim->portPath());
        sim->setSilent(true);
        connectButton()->click();
        QCOMPARE(controls(),
                 QStringLiteral("Disconnect ports 1 (off) actions off busy, Connecting…"));
        if (failing)
            answer->then(on<QMessageBox>(
                [this](QMessageBox *) { discovered({QStringLiteral("/dev/ttyUSB9")}); }));
        if (!message.isEmpty())
            answer->answerMessage();
        if (!failing)
            emit session()->finished(task, outcome, {});
        QTRY_VERIFY(answer->idle());
        if (!message.isEmpty())
            answer->messages[0].prepend(QString::number(answer->icons[0]) + ' ');
        QCOMPARE(answer->messages.value(0), message);
        QTEST(controls(), "after");
        QCOMPARE(session()->isConnected(), controls().startsWith("Disconnect"));
    }

    void portAppearsConnectsAndVanishes()
    {
        newWindow();
        FakePorts::set(
            {{QStringLiteral("ttyS0"), QStringLiteral("Communications Port (ttyS0)")},
             {sim->portPath(), QStringLiteral("LX-300 USB GPS (%1)").arg(sim->portPath())}});
        QTRY_COMPARE_WITH_TIMEOUT(controls(), QStringLiteral("Connect ports 1 actions off"), 3000);
        QCOMPARE(portBox()->currentText(), sim->portPath()); // the USB one only
        connectButton()->click();
        QTRY_COMPARE_WITH_TIMEOUT(controls(), QStringLiteral("Disconnect ports 1 (off) actions on"),
                                  3000);
        FakePorts::set({}); // the cable is pulled: disconnected, said in the status bar only
        QTRY_VERIFY_WITH_TIMEOUT(!session()->isConnected(), 3000);
        QCOMPARE(controls(),
                 QStringLiteral("Connect (off) ports 0 actions offThe logger's line was lost."));
        QTest::qWait(100);
        QVERIFY(answer->messages.isEmpty());
    }

    // The logger from the keyboard, and what a user notices: Space on the focused Connect
    // button and Device → Connect (Ctrl+K), an empty logger said as such, Return on a track
    // lists its points, no port at all asks for the logger.
    void keyboardAndSmallThings()
    {
        newWindow();
        sim->setTracks({});
        FakePorts::set({{sim->portPath(), QStringLiteral("USB (%1)").arg(sim->portPath())}});
        QTRY_COMPARE_WITH_TIMEOUT(portBox()->currentText(), sim->portPath(), 3000);
        connectButton()->setFocus();
        QTest::keyClick(connectButton(), Qt::Key_Space);
        QTRY_VERIFY_WITH_TIMEOUT(deviceActionsOn(), 8000);
        answer->then(on<TrackFileHeaderDialog>([&](TrackFileHeaderDialog *d) {
            answer->messages << d->findChild<QLabel *>("hint")->text();
            answer->messages << (d->findChild<QPushButton *>()->isEnabled() ? "apply on" : "off");
            d->reject();
        }));
        act("downloadAct")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(answer->idle(), 5000);
        QCOMPARE(answer->messages, (QStringList{"The logger holds no tracks.", "off"}));
        QCOMPARE(act("connectAct")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_K));
        act("connectAct")->trigger(); // disconnects
        QTRY_VERIFY_WITH_TIMEOUT(!session()->isConnected(), 3000);
        QVERIFY(window->openFile(QStringLiteral(LX300_SAMPLE)));
        auto *tree = map()->findChild<QTreeWidget *>(QStringLiteral("treeWidget"));
        tree->setFocus();
        tree->setCurrentItem(root()->child(1));
        QTest::keyClick(tree, Qt::Key_Return);
        QCOMPARE(map()->findChild<PointList *>()->listedPoints().size(), 400);
        window->statusBar()->clearMessage();
        FakePorts::set({});
        QTRY_COMPARE_WITH_TIMEOUT(window->statusBar()->currentMessage(),
                                  QStringLiteral("Plug in the logger"), 3000);
    }

    // As a user without a logger would: lx300 --port on the simulator, Connect, Download.
    void download()
    {
        FakePorts::set({{QStringLiteral("ttyUSB4"), QStringLiteral("USB Serial (ttyUSB4)")},
                        {QStringLiteral("ttyS0"), QStringLiteral("Communications Port (ttyS0)")}});
        newWindow();
        window->applyStartOptions(
            parseStartOptions({"lx300", "--port", sim->portPath(), QStringLiteral(LX300_SAMPLE)}));
        QCOMPARE(tracks().size(), 3);
        // Detection rounds add the USB port after the given one and never drop it.
        QTRY_COMPARE_WITH_TIMEOUT(portBox()->count(), 2, 3000);
        QCOMPARE(portBox()->currentText(), sim->portPath());
        QTest::mouseClick(connectButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(deviceActionsOn(), 3000);
        QStringList shown;
        answer->then(on<TrackFileHeaderDialog>([&](TrackFileHeaderDialog *d) {
            QTreeWidgetItem *top = d->tree()->topLevelItem(0);
            for (int i = 0; i < top->childCount(); ++i)
                shown << top->child(i)->text(0) + ' ' + top->child(i)->text(1);
            top->setCheckState(0, Qt::Checked); // ticks all three
            top->child(1)->setCheckState(0, Qt::Unchecked);
            shown << QString::number(top->checkState(0));
            d->Apply();
        }));
        QSignalSpy rebuilt(map(), &MapWidget::trackViewsRebuilt);
        act("downloadAct")->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(rebuilt.size(), 1, 15000);
        // Start times in local time, eight hours ahead; the root partly ticked.
        QCOMPARE(shown, (QStringList{"1 2009-04-11 - 16:15:00", "2 2009-04-12 - 16:15:00",
                                     "3 2009-04-13 - 16:15:00", "1"}));
        QCOMPARE(progress()->maximum(), 5); // 3 blocks of track 1, 2 of track 3
        QTRY_VERIFY_WITH_TIMEOUT(!progress()->isVisible(), 2000);
        QVERIFY(samePoints(tracks(), sim->expectedTracks({0, 2})));
        QCOMPARE(root()->childCount(), 2);
        QTRY_COMPARE(sim->requests().last().toHex(), QByteArray("b7")); // end of the download
        QVERIFY(answer->messages.isEmpty());
        // Another download asks before it replaces them: No sends nothing.
        const int asked = int(sim->requests().size());
        answer->answerMessage(QMessageBox::No);
        act("downloadAct")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(answer->idle(), 5000);
        QCOMPARE(answer->messages.takeFirst(),
                 QStringLiteral("Replace the 2 unsaved tracks shown?"));
        QTest::qWait(100);
        QCOMPARE(sim->requests().size(), asked);
        // Saved in part only (marked points): closing asks; Cancel keeps the window, Save
        // saves every track, none of them ticked.
        root()->setCheckState(0, Qt::Checked);
        saveAs("GPX File (*.gpx)", dir->filePath("marks"), WriteOptions{true, false}, false);
        answer->answerMessage(QMessageBox::Cancel);
        QVERIFY(!window->close());
        root()->setCheckState(0, Qt::Unchecked);
        answer->answerMessage(QMessageBox::Save);
        answer->then(on<MyFileDialog>([&](MyFileDialog *d) {
            d->selectNameFilter("GPX File (*.gpx)");
            typeFileName(d, dir->filePath("all"));
            static_cast<QDialog *>(d)->accept();
        }));
        QVERIFY(window->close());
        QTRY_VERIFY_WITH_TIMEOUT(answer->idle(), 5000);
        QCOMPARE(readAll(dir->filePath("all.gpx")).count("<trk>"), 2);
        QCOMPARE(answer->messages, QStringList(2, "The downloaded tracks have not been saved."));
    }

    void downloadStops_data()
    {
        using Fault = LoggerSimulator::Fault;
        QTest::addColumn<LoggerSimulator::FaultRule>("fault"); // on the block requests
        QTest::addColumn<bool>("tick");                        // every track, then Apply
        QTest::addColumn<QString>("whileChoosing"); // "port vanishes", "line closes" or ""
        QTest::addColumn<QString>("atStall");       // the progress dialog's "Escape", "Cancel"
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("tracksShown");
        QTest::addColumn<int>("blockRequests");
        QTest::addColumn<bool>("connected");
        QTest::addColumn<bool>("cut"); // the first track shown as what arrived of it
        const QString lost = "The logger's line was lost; the tracks shown are kept.";
        const QString cancelled = "The download was cancelled; the tracks shown before are kept.";
        const LoggerSimulator::FaultRule stall{Fault::NoReply, 0xB5, 1, 1};
        QTest::newRow("nothing ticked") << stall << false << ""
                                        << ""
                                        << "" << 3 << 0 << true << false;
        QTest::newRow("port gone while choosing") << stall << true << "port vanishes"
                                                  << "" << lost << 3 << 0 << false << false;
        QTest::newRow("line closed while choosing") << stall << true << "line closes"
                                                    << "" << lost << 3 << 0 << false << false;
        QTest::newRow("progress dialog: Escape")
            << stall << true << ""
            << "Escape" << cancelled << 3 << 2 << true << false;
        QTest::newRow("progress dialog: Cancel")
            << stall << true << ""
            << "Cancel" << cancelled << 3 << 2 << true << false;
        QTest::newRow("third block lost")
            << LoggerSimulator::FaultRule{Fault::NoReply, 0xB5, 2, 1} << true << ""
            << ""
            << "Read device data timeout." << 1 << 3 << true << true;
        QTest::newRow("line closed at the third block")
            << LoggerSimulator::FaultRule{Fault::CloseLine, 0xB5, 2, 1} << true << ""
            << "" << lost << 1 << 3 << false << true;
    }

    // A download that changes nothing, cannot start or is cancelled keeps the tracks shown
    // before; one the logger stops answering, or whose line goes, shows what arrived as
    // incomplete and leaves out the tracks that got nothing.
    void downloadStops()
    {
        QFETCH(LoggerSimulator::FaultRule, fault);
        QFETCH(bool, tick);
        QFETCH(QString, whileChoosing);
        QFETCH(QString, atStall);
        QFETCH(QString, message);
        connectToSimulator();
        QVERIFY(window->openFile(QStringLiteral(LX300_SAMPLE)));
        const QVector<Track> before = tracks();
        sim->addFault(fault);
        bool hintShown = false;
        answer->then(on<TrackFileHeaderDialog>([&](TrackFileHeaderDialog *d) {
            if (!tick) { // Apply with nothing ticked keeps the list open and says why
                d->Apply();
                hintShown = d->findChild<QLabel *>(QStringLiteral("hint"))->isVisible();
                d->reject();
                return;
            }
            d->tree()->topLevelItem(0)->setCheckState(0, Qt::Checked);
            if (whileChoosing == "port vanishes") // after this step: it cannot answer a message
                QTimer::singleShot(0, window, [this] {
                    FakePorts::set({});
                    discovered({});
                });
            else if (whileChoosing == "line closes")
                sim->stop();
            else
                d->Apply();
        }));
        if (!atStall.isEmpty()) // the progress dialog, at the stalled second block
            answer->then([&](QWidget *w) {
                auto *p = qobject_cast<QProgressDialog *>(w);
                if (!p || p->value() != 1)
                    return false;
                // After this step returns, so its timer runs.
                if (atStall == "Escape")
                    QTimer::singleShot(0, p, [p] { QTest::keyClick(p, Qt::Key_Escape); });
                else
                    QTimer::singleShot(0, p, [p] { p->findChild<QPushButton *>()->click(); });
                return true;
            });
        if (!message.isEmpty())
            answer->answerMessage();
        act("downloadAct")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(answer->idle(), 8000); // a lost block: 3 s of silence
        QCOMPARE(answer->messages.value(0), message);
        QCOMPARE(answer->messages.size(), message.isEmpty() ? 0 : 1);
        QCOMPARE(hintShown, !tick);
        QVERIFY(!progress()->isVisible());
        QTEST(root()->childCount(), "tracksShown");
        QTEST(requestsWithId(*sim, 0xB5), "blockRequests");
        QTEST(session()->isConnected(), "connected");
        if (!atStall.isEmpty())
            QCOMPARE(sim->requests().last().toHex(), QByteArray("b7")); // the download was ended
        QFETCH(bool, cut);
        if (!cut) {
            QVERIFY(samePoints(tracks(), before));
            return;
        }
        // The first track's first two blocks (a header point and 63 records each), marked as
        // such in the tree and when it is saved.
        QCOMPARE(tracks()[0].points.size(), 2 * (1 + 63));
        QCOMPARE(root()->child(0)->toolTip(0),
                 QStringLiteral("incomplete: 128 points in 2 of 3 blocks"));
        QVERIFY(!root()->child(0)->icon(0).isNull());
        root()->setCheckState(0, Qt::Checked);
        saveAs("GPX File (*.gpx)", dir->filePath("part"), WriteOptions{}, true,
               QMessageBox::Cancel);
        QCOMPARE(answer->messages.value(1),
                 QStringLiteral("Track 1 is incomplete: 128 points in 2 of 3 blocks."));
        QVERIFY(!QFile::exists(dir->filePath("part.gpx")));
    }

    void deleteAll()
    {
        connectToSimulator();
        answer->then(on<QMessageBox>([&](QMessageBox *box) {
            answer->messages << box->text();
            QTest::keyClick(box, Qt::Key_Return); // the default button must be No
        }));
        act("deleteAct")->trigger();
        QCOMPARE(requestsWithId(*sim, 0xBA), 0);
        bool offWhileWaiting = false;
        answer->answerMessage(QMessageBox::Yes);
        answer->then(on<QMessageBox>([&](QMessageBox *box) {
            offWhileWaiting = !deviceActionsOn();
            answer->messages << box->text();
            box->done(QMessageBox::Ok);
        }));
        act("deleteAct")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(answer->idle(), 5000);
        QCOMPARE(answer->messages,
                 (QStringList{"Delete device all track points.", "Delete device all track points.",
                              "Delete all track files ok."}));
        QVERIFY(offWhileWaiting && deviceActionsOn());
        QCOMPARE(sim->tracks().size(), 0);
    }

    void settings()
    {
        connectToSimulator();
        QStringList shown;
        const auto edit = [](QWidget *d, const char *name) {
            return d->findChild<QLineEdit *>(QLatin1String(name));
        };
        const auto on = [](QWidget *d, const char *name) {
            return d->findChild<QAbstractButton *>(QLatin1String(name));
        };
        answer->then(::on<DeviceSettingDialog>([&](DeviceSettingDialog *d) {
            shown << edit(d, "speedThresholdEdit")->text() << edit(d, "timeIntervalEdit")->text()
                  << d->findChild<QLabel *>(QStringLiteral("memoryUsageLabel"))->text();
            shown << QString::number(on(d, "formatAltitudeRadio")->isChecked() +
                                     2 * on(d, "waasCheck")->isChecked() +
                                     4 * edit(d, "radiusEdit")->isEnabled() +
                                     8 * edit(d, "distanceIntervalEdit")->isEnabled());
            on(d, "radiusCheck")->setChecked(true);
            on(d, "byDistanceRadio")->setChecked(true);
            shown << QString::number(edit(d, "radiusEdit")->isEnabled() +
                                     2 * edit(d, "timeIntervalEdit")->isEnabled());
            on(d, "byTimeRadio")->setChecked(true);
            // Out of range: a message, the field's last edit undone, the dialog still open.
            edit(d, "timeIntervalEdit")->selectAll();
            QTest::keyClicks(edit(d, "timeIntervalEdit"), QStringLiteral("0"));
            QTimer::singleShot(0, d, &DeviceSettingDialog::apply);
        }));
        answer->answerMessage();
        answer->then(::on<DeviceSettingDialog>([&](DeviceSettingDialog *d) {
            shown << edit(d, "timeIntervalEdit")->text();
            edit(d, "timeIntervalEdit")->setText(QStringLiteral("30"));
            d->apply();
        }));
        answer->answerMessage();
        act("deviceSettingAct")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(answer->idle(), 5000);
        // 10.50 km/h and 5 s shown whole; altitude format, WAAS on, radius and distance off.
        QCOMPARE(shown, (QStringList{"10", "5", "37%", "3", "1", "5"}));
        QCOMPARE(answer->messages,
                 (QStringList{"The value range is 1 ~ 1800", "Set device configuration ok."}));
        QCOMPARE(answer->icons,
                 (QList<QMessageBox::Icon>{QMessageBox::Information, QMessageBox::Information}));
        const QByteArray stored = sim->configReply();
        QCOMPARE(stored.mid(3, 5).toHex(), QByteArray("000003e801"));        // whole km/h; radius
        QCOMPARE(stored.mid(12, 4).toHex(), QByteArray("00007530"));         // 30 s
        QCOMPARE(stored.mid(33, 8).toHex(), QByteArray("cafebabe0badf00d")); // unshown, kept
    }

    void save_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("written"); // empty: refused with a warning
        QTest::addColumn<QString>("boxes");   // "marked only", "waypoints" ticked in the dialog
        QTest::addColumn<QString>("replace"); // the answer when the file is there already
        const char *rows[][5] = {{"TKR", "trip", "trip.tkr", "", ""},
                                 {"GPX", "trip", "trip.gpx", "", ""},
                                 {"KML", "trip", "trip.kml", "", ""},
                                 {"CSV", "trip", "trip.csv", "", ""},
                                 {"CSV", "trip", "trip.csv", "marked only", ""},
                                 {"GPX", "trip", "trip.gpx", "waypoints", ""},
                                 {"CSV", "trip.CSV", "trip.CSV", "", ""},
                                 {"KML", "trip.csv", "trip.csv", "", ""},
                                 {"TKR", "trip.gpx", "trip.gpx", "", ""},
                                 {"GPX", "a.gpx.old", "a.gpx.old.gpx", "", ""},
                                 {"GPX", "old", "old.gpx", "", "Escape"},
                                 {"GPX", "old", "old.gpx", "", "Yes"}};
        for (const auto &r : rows)
            QTest::addRow("%s %s %s %s", r[0], r[1], r[3], r[4])
                << r[0] << r[1] << r[2] << r[3] << r[4];
    }

    void save()
    {
        QFETCH(QString, kind);
        QFETCH(QString, name);
        QFETCH(QString, written);
        QFETCH(QString, boxes);
        QFETCH(QString, replace);
        const WriteOptions options{boxes == "marked only", boxes == "waypoints"};
        openSample();
        root()->child(0)->setCheckState(0, Qt::Checked);
        root()->child(2)->setCheckState(0, Qt::Checked);
        ModalAnswerer::Step replacing;
        if (!replace.isEmpty()) {
            QVERIFY(writeAll(dir->filePath(written), "precious"));
            replacing = on<QMessageBox>([&](QMessageBox *box) {
                answer->messages << box->text();
                if (replace == "Escape") {
                    QTest::keyClick(box, Qt::Key_Escape);
                    answer->then(on<MyFileDialog>([](MyFileDialog *d) { d->reject(); }));
                } else {
                    box->done(QMessageBox::Yes);
                }
            });
        }
        saveAs(QStringLiteral("%1 File (*.%2)").arg(kind, kind.toLower()), dir->filePath(name),
               options, written.isEmpty(), QMessageBox::Ok, replacing);
        if (!replace.isEmpty()) {
            QCOMPARE(answer->messages.value(0), written + " already exists. Replace it?");
            answer->messages.clear();
            if (replace == "Escape") { // No: back in the file dialog, nothing written
                QCOMPARE(readAll(dir->filePath(written)), QByteArray("precious"));
                return;
            }
        }
        if (written.isEmpty()) {
            QCOMPARE(QDir(dir->path()).entryList(QDir::Files), QStringList{});
            QCOMPARE(answer->icons.value(0), QMessageBox::Warning);
            QVERIFY(answer->messages.value(0).contains(name));
            return;
        }
        QVERIFY(answer->messages.isEmpty());
        QVERIFY2(formatNote.startsWith(kind + " keeps "), qPrintable(formatNote));
        QCOMPARE(waypointsBox, kind == "TKR"   ? "off"
                               : kind == "CSV" ? "Add a Mark column"
                                               : "Save mark points as waypoints");
        QCOMPARE(QDir(dir->path()).entryList(QDir::Files), QStringList{written});
        const QString reference = dir->filePath("reference.") + written.section('.', -1).toLower();
        QVERIFY(FileFormats(window).write(tracks(), reference, {0, 2}, options));
        QCOMPARE(readAll(dir->filePath(written)), readAll(reference));
        QString nextFolder; // the next file dialog opens where this one left
        answer->then(on<MyFileDialog>([&](MyFileDialog *d) {
            nextFolder = d->directory().absolutePath();
            d->reject();
        }));
        act("saveAct")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(answer->idle(), 5000);
        QCOMPARE(nextFolder, dir->path());
    }

    // Save with nothing ticked (as after every open) asks to save all, never an empty file.
    void saveNothingTicked()
    {
        openSample();
        answer->then(on<QMessageBox>([&](QMessageBox *box) {
            answer->messages << box->text();
            box->button(QMessageBox::Cancel)->click();
        }));
        act("saveAct")->trigger(); // Cancel: no file dialog, no file
        QTRY_VERIFY_WITH_TIMEOUT(answer->idle(), 5000);
        answer->then(on<QMessageBox>([](QMessageBox *box) { box->defaultButton()->click(); }));
        saveAs("GPX File (*.gpx)", dir->filePath("all"), WriteOptions{}, false);
        QCOMPARE(answer->messages, QStringList{"No track is ticked. Save all 3 tracks?"});
        QCOMPARE(QDir(dir->path()).entryList(QDir::Files), QStringList{"all.gpx"});
        QCOMPARE(readAll(dir->filePath("all.gpx")).count("<trk>"), 3);
    }

    // Opened from the dialog, dropped on the window, from Recent files; a damaged file is
    // refused and keeps what is shown; a TKR save of points without a time asks first.
    // A file's place of its own is a named pin, saved with the tracks where the format keeps
    // it; a save that cannot keep it asks first.
    void waypoints()
    {
        newWindow();
        QVERIFY(writeAll(dir->filePath("w.gpx"),
                         "<gpx><wpt lat=\"47.2\" lon=\"8.5\"><name>Hut</name></wpt><trk><trkseg>"
                         "<trkpt lat=\"47.25\" lon=\"8.5\"/><trkpt lat=\"47.26\" lon=\"8.5\"/>"
                         "</trkseg></trk></gpx>"));
        QVERIFY(window->openFiles({dir->filePath("w.gpx")}));
        QTRY_COMPARE(pageState(map(), "waypointLayer ? waypointLayer.getLayers().map(function (m) "
                                      "{ return m.getTooltip().getContent(); }).join(',') : ''"),
                     QStringLiteral("Hut"));
        // Listed in the tree after the tracks; a double-click goes there, listing no track.
        auto *tree = map()->findChild<QTreeWidget *>(QStringLiteral("treeWidget"));
        QTreeWidgetItem *places = tree->topLevelItem(1);
        QCOMPARE(places->text(0) + '|' + places->child(0)->text(0),
                 QStringLiteral("w.gpx: waypoints (1)|Hut"));
        tree->setCurrentItem(places->child(0));
        map()->TreeWidgetItemDoubleClicked(places->child(0), 0);
        QTRY_COMPARE(pageState(map(), "map.getCenter().lat.toFixed(1)"), QStringLiteral("47.2"));
        QVERIFY(!places->child(0)->data(0, Qt::CheckStateRole).isValid());
        saveAs("GeoJSON File (*.geojson)", dir->filePath("out.geojson"), {}, false);
        FileFormats formats(window);
        QVector<Track> back;
        QVERIFY(formats.read(back, dir->filePath("out.geojson")));
        QCOMPARE(formats.byExtension(".geojson")->waypoints().value(0).name, QStringLiteral("Hut"));
        saveAs("CSV File (*.csv)", dir->filePath("out.csv"), {}, true, QMessageBox::Cancel);
        QVERIFY(answer->messages.value(0).contains("1 waypoints of their own"));
        QVERIFY(!QFile::exists(dir->filePath("out.csv")));
    }

    void openFiles()
    {
        newWindow();
        const FileFormats formats(window);
        QVector<Track> sample;
        QVERIFY(formats.read(sample, QStringLiteral(LX300_SAMPLE)));
        QVERIFY(formats.write(sample, dir->filePath("a.gpx"), {0}, false));
        QVERIFY(formats.write(sample, dir->filePath("b.kml"), {1, 2}, false));
        QVERIFY(QFile::rename(dir->filePath("b.kml"), dir->filePath("b.KML"))); // any case opens
        QVERIFY(formats.write(sample, dir->filePath("all.tkr"), {0, 1, 2}, 0));
        answer->then(on<QFileDialog>([&](QFileDialog *d) {
            QVERIFY(d->nameFilters().value(0).startsWith("Track files (*.tkr *.gpx *.kml *.kmz"));
            // One sentence under the dialog: the types (each once), then the chosen type's.
            auto *note = d->findChild<QLabel *>("formatNote");
            QCOMPARE(note->text(), QStringLiteral("TKR, GPX, KML, KMZ, TCX, FIT, GEOJSON, IGC, "
                                                  "NMEA, CSV files; choose a type to see what it "
                                                  "keeps."));
            d->selectNameFilter("KML File (*.kml *.kmz)");
            emit d->filterSelected("KML File (*.kml *.kmz)");
            QVERIFY(note->text().startsWith("KML keeps ") && !note->text().contains('\n'));
            typeFileName(d, dir->filePath("all.tkr"));
            static_cast<QDialog *>(d)->accept();
        }));
        act("openAct")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(answer->idle(), 5000);
        QVERIFY(samePoints(tracks(), sample));

        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(dir->filePath("a.gpx")),
                      QUrl::fromLocalFile(dir->filePath("b.KML"))});
        QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(window, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(window, &drop);
        QTRY_COMPARE(tracks().size(), 6);
        QCOMPARE(root()->childCount(), 6);
        // What was dropped is ticked and shown; the tracks shown before keep their ticks.
        QCOMPARE(map()->checkedTrackIndexes(), (QList<int>{3, 4, 5}));
        QVERIFY2(window->statusBar()->currentMessage().startsWith("3 tracks opened, 1,200 points"),
                 qPrintable(window->statusBar()->currentMessage()));
        QCOMPARE(tracks()[3].points.size(), tracks()[0].points.size());
        QCOMPARE(tracks()[3].points.last().time, tracks()[0].points.last().time);
        QCOMPARE(tracks()[4].points.first().time, 0u); // KML keeps no times
        const QStringList recent = store().value("recentFiles").toStringList();
        QCOMPARE(recent.mid(0, 2), (QStringList{dir->filePath("b.KML"), dir->filePath("a.gpx")}));
        find<QMenu>("recentMenu")->actions().at(1)->trigger(); // a.gpx again
        QCOMPARE(tracks().size(), 7);
        find<QMenu>("recentMenu")->actions().last()->trigger(); // Clear recent files
        QVERIFY(!store().contains("recentFiles"));

        QVERIFY(writeAll(dir->filePath("cut.tkr"), readAll(dir->filePath("all.tkr")).chopped(10)));
        answer->answerMessage();
        QVERIFY(!window->openFile(dir->filePath("cut.tkr")));
        QCOMPARE(answer->icons.value(0), QMessageBox::Warning);
        QVERIFY(answer->messages.value(0).contains("cut.tkr"));
        QCOMPARE(tracks().size(), 7);

        QVERIFY(writeAll(dir->filePath("lap.TCX"),
                         "<TrainingCenterDatabase><Activities><Activity><Lap><Track>"
                         "<Trackpoint><Time>2009-04-11T08:15:00Z</Time><Position>"
                         "<LatitudeDegrees>48.1</LatitudeDegrees><LongitudeDegrees>11.5"
                         "</LongitudeDegrees></Position></Trackpoint></Track></Lap></Activity>"
                         "</Activities></TrainingCenterDatabase>"));
        QMimeData lap;
        lap.setUrls({QUrl::fromLocalFile(dir->filePath("lap.TCX"))});
        QDragEnterEvent enterLap(QPoint(50, 50), Qt::CopyAction, &lap, Qt::LeftButton, {});
        QApplication::sendEvent(window, &enterLap);
        QDropEvent dropLap(QPointF(50, 50), Qt::CopyAction, &lap, Qt::LeftButton, {});
        QApplication::sendEvent(window, &dropLap);
        QTRY_COMPARE(tracks().size(), 8);
        QCOMPARE(tracks().last().points.value(0).time, Start2009);
        QVERIFY(!tracks().last().points.value(0).hasAltitude());
        root()->setCheckState(0, Qt::Unchecked);

        // Saving the KML's tracks as TKR: warned, and Cancel writes nothing.
        answer->messages.clear();
        root()->child(4)->setCheckState(0, Qt::Checked);
        saveAs("TKR File (*.tkr)", dir->filePath("untimed"), WriteOptions{}, true,
               QMessageBox::Cancel);
        QCOMPARE(answer->messages.value(0).left(32),
                 QStringLiteral("400 points have no time. A TKR f"));
        QVERIFY(!QFile::exists(dir->filePath("untimed.tkr")));
    }

    // The filter's value means km/h in any unit; the statistics window follows the ticks; play
    // pauses, and plays again at once.
    void filterAndPlayback()
    {
        openSample();
        act("statisticsAct")->trigger(); // it goes with the window (cleanup)
        QVERIFY(find<QDialog>("statisticsDialog")->isVisible());
        root()->setCheckState(0, Qt::Checked);
        QCOMPARE(map()->statisticsTable()->rowCount(), 4);
        map()
            ->findChild<QTreeWidget *>(QStringLiteral("treeWidget"))
            ->setCurrentItem(root()->child(0));
        map()->TreeWidgetItemDoubleClicked(root()->child(0), 0); // listed: the filter's track
        runFilter(2, "30");
        const auto &points = tracks()[0].points;
        const auto fast = std::count_if(points.begin(), points.end(),
                                        [](const TrackPoint &p) { return p.speed >= 3000; });
        act("milesAct")->trigger();
        runFilter(1, "-5"); // an invalid value changes nothing
        QCOMPARE(map()->findChild<PointList *>()->listedPoints().size(), fast);
        // In miles the value is in mph; each point keeps its own number.
        runFilter(1, "10");
        const auto overTen = std::count_if(points.begin(), points.end(), [](const TrackPoint &p) {
            return p.speed > 10 * 160.9344f;
        });
        QCOMPARE(map()->findChild<PointList *>()->listedPoints().size(), overTen);
        QCOMPARE(window->statusBar()->currentMessage(),
                 QStringLiteral("Filtered: speed > 10 mph (%1 of 400 points)").arg(overTen));
        const int firstKept =
            int(std::find_if(points.begin(), points.end(),
                             [](const TrackPoint &p) { return p.speed > 10 * 160.9344f; }) -
                points.begin());
        QCOMPARE(map()->findChild<QTreeView *>("treeWidget_2")->model()->index(0, 0).data(),
                 QVariant(QString::number(firstKept + 1) + (points[firstKept].marked ? "*" : "")));
        runFilter(7, QString()); // all points again
        QCOMPARE(map()->findChild<PointList *>()->listedPoints().size(), points.size());
        runFilter(6, QString()); // the ten marks: the value field is off
        QCOMPARE(answer->messages,
                 (QStringList{"on", "on", "Type a speed to compare with.", "on", "off", "off"}));
        QCOMPARE(map()->findChild<PointList *>()->listedPoints().size(), 10);
        find<QSlider>("speedSlider")->setValue(2);
        const auto state = [this] { return act("playAct")->toolTip(); };
        act("playAct")->trigger();
        QCOMPARE(state(), QStringLiteral("pause"));
        QTest::qWait(400);
        act("playAct")->trigger(); // pause
        QCOMPARE(state(), QStringLiteral("play"));
        act("playAct")->trigger(); // at once, before the paused run's end is delivered
        QTest::qWait(100);
        QVERIFY(playing());
        QTRY_VERIFY_WITH_TIMEOUT(!playing(), 5000); // ran to the end
        QCOMPARE(state(), QStringLiteral("play"));
        QCOMPARE(map()->findChild<PointList *>()->playbackStart(), 0);
    }

    // At 800 x 600: in the track tree Space plays and Ctrl+Space ticks; the statistics fit
    // and follow the Time menu; the profile's labels are short, round and have room.
    void smallWindow()
    {
        openSample();
        window->setWindowState(Qt::WindowNoState);
        window->resize(800, 600);
        window->activateWindow(); // shortcuts go to the active window
        QVERIFY(QTest::qWaitForWindowActive(window));
        QTreeWidget *tree = map()->findChild<QTreeWidget *>(QStringLiteral("treeWidget"));
        tree->setFocus();
        tree->setCurrentItem(root()->child(0));
        QTest::keyClick(tree, Qt::Key_Space, Qt::ControlModifier);
        QCOMPARE(root()->child(0)->checkState(0), Qt::Checked);
        QVERIFY(!playing());
        map()->TreeWidgetItemDoubleClicked(root()->child(0), 0); // lists its points
        QTest::keyClick(tree, Qt::Key_Space);
        QVERIFY(playing());
        QCOMPARE(root()->child(0)->checkState(0), Qt::Checked);
        act("playAct")->trigger(); // pause

        act("statisticsAct")->trigger();
        QVERIFY(find<QDialog>("statisticsDialog")->frameGeometry().width() <= 800);
        const StatisticsTable *table = map()->statisticsTable();
        const auto start = [table] {
            return QStringList{table->item(0, 0)->text(), table->item(0, 3)->text(),
                               table->horizontalHeaderItem(3)->text()};
        };
        QCOMPARE(start(),
                 (QStringList{"1.2009-04-11 - 16:15:00", "2009-04-11 16:15:00", "Start\n(local)"}));
        act("utcTimeAct")->trigger();
        QCOMPARE(start(),
                 (QStringList{"1.2009-04-11 - 08:15:00", "2009-04-11 08:15:00", "Start\n(UTC)"}));

        // Against time: hours and minutes at a round step; against distance: 1-2-5 steps.
        ProfileChart *profile = map()->findChild<ProfileChart *>();
        const auto labels = [profile] {
            QTest::qWait(100); // laid out
            auto *axis = qobject_cast<QCategoryAxis *>(profile->chart()->axes(Qt::Horizontal)[0]);
            QStringList texts = axis ? axis->categoriesLabels() : QStringList{"no labels"};
            const QFontMetricsF metrics(axis ? axis->labelsFont() : QFont());
            double room = profile->chart()->plotArea().width();
            for (const QString &t : texts)
                room -= metrics.horizontalAdvance(t) + 8;
            return texts << (room >= 0 ? "fits" : "crowded");
        };
        const QStringList times = labels();
        QVERIFY2(times.size() >= 3 && times.last() == "fits", qPrintable(times.join(' ')));
        QList<int> minutes;
        for (const QString &t : times.mid(0, times.size() - 1)) {
            QVERIFY2(QRegularExpression("^08:[0-5][0-9]$").match(t).hasMatch(), qPrintable(t));
            minutes << t.mid(3).toInt();
        }
        const int step = minutes.size() > 1 ? minutes[1] - minutes[0] : 0;
        QVERIFY2(QList<int>({1, 2, 5, 10, 15, 30}).contains(step) && minutes[0] % step == 0,
                 qPrintable(times.join(' ')));
        map()->findChild<QComboBox *>(QStringLiteral("profileAxis"))->setCurrentIndex(1);
        const QStringList distances = labels();
        QVERIFY2(distances.size() >= 3 && distances.last() == "fits",
                 qPrintable(distances.join(' ')));
        const double first = distances[0].section(' ', 0, 0).toDouble();
        const double second = distances[1].section(' ', 0, 0).toDouble();
        QVERIFY2(first == 0 && QList<double>({0.1, 0.2, 0.5, 1, 2, 5}).contains(second) &&
                     distances[1].endsWith(" km"),
                 qPrintable(distances.join(' ')));
    }

    // Points selected in the list and deleted, undone and redone: the list, the tree's figures,
    // the map's line and the title's mark follow; Split by day makes a track a day.
    void editAndUndo()
    {
        openSample();
        QTreeWidgetItem *first = root()->child(0);
        map()->findChild<QTreeWidget *>(QStringLiteral("treeWidget"))->setCurrentItem(first);
        map()->TreeWidgetItemDoubleClicked(first, 0);
        act("statisticsAct")->trigger(); // worked out while shown
        // Its laps: ten and their total; a click selects a lap; the table copies as CSV.
        auto *laps = map()->piecesPane()->findChild<QTableWidget *>(QStringLiteral("piecesTable"));
        QCOMPARE(laps->rowCount(), 11);
        emit laps->cellClicked(1, 0);
        QCOMPARE(map()->selectedPoints().first(), 39); // from the first mark
        map()->piecesPane()->findChild<QPushButton *>(QStringLiteral("copyPieces"))->click();
        QCOMPARE(QGuiApplication::clipboard()->text().count('\n'), 12);
        // Dragged across the profile: the rows passed are selected and the band spans them.
        auto *profile = map()->findChild<ProfileChart *>(QStringLiteral("profileView"));
        const auto *speedAxis = qobject_cast<QValueAxis *>(
            profile->chart()->axes(Qt::Vertical, profile->speedSeries()).first());
        const auto at = [&](int row) {
            const QPointF value(profile->axisXOfRow(row),
                                (speedAxis->min() + speedAxis->max()) / 2);
            return profile->mapFromScene(profile->chart()->mapToScene(
                profile->chart()->mapToPosition(value, profile->speedSeries())));
        };
        QTest::mousePress(profile->viewport(), Qt::LeftButton, {}, at(10));
        QTest::mouseMove(profile->viewport(), at(100));
        QTest::mouseMove(profile->viewport(), at(199));
        QTest::mouseRelease(profile->viewport(), Qt::LeftButton, {}, at(199));
        const QVector<int> dragged = map()->selectedPoints();
        QVERIFY(qAbs(dragged.first() - 10) <= 2 && qAbs(dragged.last() - 199) <= 2);
        QCOMPARE(dragged.size(), dragged.last() - dragged.first() + 1);
        const QList<QPointF> band = profile->bandSeries()->upperSeries()->points();
        QCOMPARE((QList<double>{band.value(0).x(), band.value(1).x()}),
                 (QList<double>{profile->axisXOfRow(dragged.first()),
                                profile->axisXOfRow(dragged.last())}));

        auto *list = map()->findChild<QTreeView *>(QStringLiteral("treeWidget_2"));
        list->selectionModel()->select(
            QItemSelection(list->model()->index(10, 0), list->model()->index(199, 0)),
            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        const QString distance = root()->child(0)->text(1);
        QVERIFY(list->actions().contains(act("deletePointsAct"))); // its context menu
        // The selection's figures in the status bar, its stretch on the map.
        QVERIFY2(QRegularExpression("^points 11-200: [0-9.]+ km, 0:15:4[05], \\+[0-9]+ m$")
                     .match(window->statusBar()->currentMessage())
                     .hasMatch(),
                 qPrintable(window->statusBar()->currentMessage()));
        QCOMPARE(pageState(map(), "String(stretch.getLayers()[0].getLatLngs().length)"),
                 QStringLiteral("190"));
        // The statistics' selection row: the whole track selected gives the track's figures.
        const StatisticsTable *table = map()->statisticsTable();
        QCOMPARE(table->item(1, 0)->text(), QStringLiteral("Selection (points 11-200)"));
        list->selectAll();
        const auto figures = [table](int row) {
            QStringList texts;
            for (int c = 1; c < table->columnCount(); ++c)
                texts << table->item(row, c)->text();
            return texts;
        };
        QCOMPARE(figures(1), figures(0));
        list->selectionModel()->select(
            QItemSelection(list->model()->index(10, 0), list->model()->index(199, 0)),
            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        act("deletePointsAct")->trigger();
        const auto state = [&] {
            return QStringList{QString::number(tracks()[0].points.size()),
                               QString::number(list->model()->rowCount()),
                               pageState(map(), "String(polylinesArray[0].getLatLngs().length)"),
                               QString::number(window->isWindowModified())};
        };
        QCOMPARE(state(), (QStringList{"210", "210", "210", "1"}));
        QTRY_VERIFY(root()->child(0)->text(1) != distance); // the figures worked out again
        QCOMPARE(act("undoAct")->text(), QStringLiteral("&Undo Delete"));
        act("undoAct")->trigger();
        QCOMPARE(state(), (QStringList{"400", "400", "400", "1"}));
        QTRY_COMPARE(root()->child(0)->text(1), distance);
        act("redoAct")->trigger();
        QCOMPARE(state().first(), QStringLiteral("210"));
        QVERIFY(!act("redoAct")->isEnabled());

        // Renamed through its dialog: the tree shows the name beside the start; undone, the
        // start alone again.
        const QString label = root()->child(0)->text(0);
        QTimer::singleShot(0, this, [] {
            auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            dialog->findChild<QLineEdit *>(QStringLiteral("nameEdit"))->setText(" Lake ");
            dialog->accept();
        });
        act("renameAct")->trigger();
        QCOMPARE(root()->child(0)->text(0) + '|' + tracks()[0].name, label + "  Lake|Lake");
        act("undoAct")->trigger();
        QCOMPARE(root()->child(0)->text(0), label);
    }

    // Download new tracks ticks only what the library lacks and archives it; Delete all names
    // a track whose file went (No by default), or says all are in (Yes by default).
    void libraryDownloadAndDelete()
    {
        QTemporaryDir lib;
        store().setValue("library/folder", lib.path());
        {
            TrackLibrary before(lib.path());
            QVERIFY(before.open());
            const Track second = sim->expectedTracks({1}).first();
            QVERIFY(
                before.archive(second, second.startTime, int(sim->headers()[1].blockIndexes.size()))
                    .ok);
        }
        connectToSimulator();
        QStringList seen;
        QMessageBox::StandardButton reply = QMessageBox::No;
        QTimer user;
        connect(&user, &QTimer::timeout, this, [&] {
            QWidget *top = QApplication::activeModalWidget();
            if (auto *d = qobject_cast<TrackFileHeaderDialog *>(top)) {
                QTreeWidgetItem *root = d->tree()->topLevelItem(0);
                for (int i = 0; i < root->childCount(); ++i)
                    seen << root->child(i)->text(1).mid(22) +
                                (root->child(i)->checkState(0) == Qt::Checked ? "ticked" : "");
                d->Apply();
            } else if (auto *box = qobject_cast<QMessageBox *>(top)) {
                seen << box->text() + (box->defaultButton() == box->button(QMessageBox::Yes)
                                           ? " [Yes]"
                                           : " [No]");
                box->done(reply);
            }
        });
        user.start(20);
        act("downloadNewAct")->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(tracks().size(), 2, 5000);
        QCOMPARE(seen, (QStringList{"ticked", "(in the library)", "ticked"}));
        QTRY_VERIFY(window->statusBar()->currentMessage().startsWith("2 tracks archived"));
        TrackLibrary after(lib.path());
        QVERIFY(after.open());
        QCOMPARE(after.entries().size(), 3);

        QVERIFY(QFile::remove(lib.filePath(after.entries()[0].file)));
        seen.clear();
        act("deleteAct")->trigger();
        QTRY_COMPARE(seen.size(), 1);
        QVERIFY2(seen[0].startsWith("1 tracks on the logger are not in the library: 2009-04-11") &&
                     seen[0].endsWith("[No]"),
                 qPrintable(seen[0]));
        QCOMPARE(sim->tracks().size(), 3);

        seen.clear();
        act("downloadNewAct")->trigger(); // the missing one again
        QTRY_VERIFY(window->statusBar()->currentMessage().startsWith("1 tracks archived"));
        reply = QMessageBox::Yes;
        seen.clear();
        act("deleteAct")->trigger();
        QTRY_COMPARE(sim->tracks().size(), 0);
        QCOMPARE(seen.first(),
                 QStringLiteral("All 3 tracks on the logger are in the library. [Yes]"));

        // The library's view: filtered, its totals follow; a name edited lands in the file.
        act("libraryAct")->trigger();
        auto *table = find<QTableWidget>("libraryTable");
        QCOMPARE(table->rowCount(), 3);
        find<QLineEdit>("libraryFilter")->setText("04-12");
        QVERIFY2(find<QLabel>("libraryTotals")->text().startsWith("1 tracks shown: "),
                 qPrintable(find<QLabel>("libraryTotals")->text()));
        int shown = 0;
        while (table->isRowHidden(shown))
            ++shown;
        table->item(shown, 1)->setText("Second day");
        QVector<Track> named;
        QVERIFY(FileFormatTKR().read(named, lib.filePath(table->item(shown, 8)->text())));
        QCOMPARE(named[0].name, QStringLiteral("Second day"));
    }

    // Downloads in a row, each from a new logger: each exact or warned, and memory stays flat.
    // The random soak (LX300_SOAK_RUNS) runs more, half of them with a fault on a block.
    void downloadsInARow()
    {
        newWindow();
        QStringList messages;
        QTimer user; // ticks every track and closes every message box
        connect(&user, &QTimer::timeout, this, [&] {
            QWidget *top = QApplication::activeModalWidget();
            if (auto *box = qobject_cast<QMessageBox *>(top)) {
                if (box->text().startsWith("Replace the")) { // the last download's tracks
                    box->done(QMessageBox::Yes);
                    return;
                }
                messages << box->text();
                box->done(QMessageBox::Ok);
            } else if (auto *dialog = qobject_cast<TrackFileHeaderDialog *>(top)) {
                dialog->tree()->topLevelItem(0)->setCheckState(0, Qt::Checked);
                dialog->Apply();
            } else if (top == progress() && !messages.isEmpty()) {
                progress()->close(); // after a warning it stays until closed
            }
        });
        user.start(20);
        long warm = 0;
        for (int run = 0; run < (soak.only ? soak.runs : 4); ++run) {
            sim.reset(new LoggerSimulator);
            loadThreeTracks(*sim);
            sim->setPageSize(3);
            if (soak.only && soak.random.bounded(2))
                sim->addFault({LoggerSimulator::Fault(soak.random.bounded(7)), 0xB5,
                               int(soak.random.bounded(8)), 1});
            QVERIFY(sim->start());
            FakePorts::set({{sim->portPath(), QStringLiteral("USB (%1)").arg(sim->portPath())}});
            QTRY_COMPARE_WITH_TIMEOUT(portBox()->currentText(), sim->portPath(), 3000);
            messages.clear();
            connectButton()->click();
            QTRY_VERIFY_WITH_TIMEOUT(deviceActionsOn(), 8000);
            QSignalSpy ended(session(), &LoggerSession::finished);
            const auto downloaded = [&] {
                return std::any_of(ended.begin(), ended.end(), [](const QList<QVariant> &e) {
                    return e[0].value<LoggerSession::Task>() == LoggerSession::Task::Download &&
                           e[1].value<LoggerSession::Outcome>() == LoggerSession::Outcome::Done;
                });
            };
            act("downloadAct")->trigger();
            QTRY_VERIFY_WITH_TIMEOUT(
                !messages.isEmpty() || (downloaded() && !progress()->isVisible()), 15000);
            if (messages.isEmpty())
                QVERIFY(samePoints(tracks(), sim->expectedTracks({0, 1, 2}), true));
            else // a closed line disconnects by itself
                QVERIFY2(messages == QStringList{"Read device data timeout."} ||
                             messages == QStringList{"The logger's line was lost; the tracks "
                                                     "shown are kept."},
                         qPrintable(messages.join('|')));
            QTRY_VERIFY(QApplication::activeModalWidget() == nullptr);
            if (session()->isConnected())
                connectButton()->click(); // disconnect
            if (run == 1)
                warm = rssKb();
        }
        qInfo("window memory: %ld kB after 2 downloads, %ld kB after the last", warm, rssKb());
        QVERIFY2(rssKb() - warm < 20 * 1024, "memory grows with each download");
    }

    void startOptions_data()
    {
        QTest::addColumn<QString>("args");
        QTest::addColumn<QString>("parsed"); // port|map|file|help, or the error
        const char *rows[][2] = {
            {"--port /dev/pts/3 --map OpenTopoMap a.tkr", "/dev/pts/3|OpenTopoMap|a.tkr|0"},
            {"--port=/tmp/x", "/tmp/x|||0"},
            {"--help", "|||1"},
            {"a.tkr b.gpx", "||a.tkr,b.gpx|0"},
            {"--port=", "The port path is empty."},
            {"--bogus", "Unknown option 'bogus'."},
        };
        for (const auto &r : rows)
            QTest::newRow(r[0]) << r[0] << r[1];
    }

    void startOptions()
    {
        QFETCH(QString, args);
        const StartOptions o = parseStartOptions(QStringList{"lx300"} + args.split(' '));
        const QStringList parsed{o.port, o.map, o.files.join(','), QString::number(o.help)};
        QTEST(o.error.isEmpty() ? parsed.join('|') : o.error, "parsed");
    }
};

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
