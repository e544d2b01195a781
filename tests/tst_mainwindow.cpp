#include "app/mainwindow.h"
#include "testsettings.h"

#include <QAction>
#include <QActionGroup>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QSlider>
#include <QToolBar>
#include <QtTest>

class TestMainWindow : public QObject
{
    Q_OBJECT

public:
    static void initMain() { prepareGuiTest(); }

private slots:
    void init() { store().clear(); }
    void emptyStoreGivesDefaults();
    void storedPreferencesAreNormalised_data();
    void storedPreferencesAreNormalised();
    void storedGeometryIsRestored();
    void closingStoresAllFive();
    void exitStoresNothing();
    void frame();
    void menus();
    void toolBar();
    void toggledFollowsActions();
    void iconsAreCompiledIn_data();
    void iconsAreCompiledIn();
    void aboutBoxNamesTheBuild();

private:
    static QSettings store()
    {
        return QSettings(QStringLiteral("Trekmont"), QStringLiteral("LX-300"));
    }
};

void TestMainWindow::emptyStoreGivesDefaults()
{
    MainWindow w;
    QVERIFY(w.windowState() & Qt::WindowMaximized);
    QVERIFY(w.kilometersAct->isChecked());
    QVERIFY(w.meterAct->isChecked());
    QVERIFY(w.localTimeAct->isChecked());
    QCOMPARE(w.speedUnit, 0);
    QCOMPARE(w.heightUnit, 0);
    QCOMPARE(w.timeSwitch, 1);
    QCOMPARE(w.directory, QDir::homePath());
    QVERIFY(w.tracks.isEmpty());
}

void TestMainWindow::storedPreferencesAreNormalised_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("stored");
    QTest::addColumn<QString>("checkedAction");
    QTest::addColumn<int>("speedUnit");
    QTest::addColumn<int>("heightUnit");
    QTest::addColumn<int>("timeSwitch");

    QTest::newRow("speedUnit 5 means miles") << "speedUnit" << 5 << "Miles" << 1 << 0 << 1;
    QTest::newRow("speedUnit 1") << "speedUnit" << 1 << "Miles" << 1 << 0 << 1;
    QTest::newRow("heightUnit -3 means feet") << "heightUnit" << -3 << "Feet" << 0 << 1 << 1;
    QTest::newRow("timeSwitch 2 means UTC") << "timeSwitch" << 2 << "UTC time" << 0 << 0 << 0;
    QTest::newRow("timeSwitch 0") << "timeSwitch" << 0 << "UTC time" << 0 << 0 << 0;
    QTest::newRow("timeSwitch 1") << "timeSwitch" << 1 << "Local time" << 0 << 0 << 1;
}

void TestMainWindow::storedPreferencesAreNormalised()
{
    QFETCH(QString, key);
    QFETCH(int, stored);
    QFETCH(QString, checkedAction);
    {
        QSettings s = store();
        s.setValue(key, stored);
    }
    MainWindow w;
    const QList<QAction *> actions = w.findChildren<QAction *>();
    auto found = std::find_if(actions.begin(), actions.end(),
                              [&](QAction *a) { return a->text() == checkedAction; });
    QVERIFY(found != actions.end());
    QVERIFY((*found)->isChecked());
    QTEST(w.speedUnit, "speedUnit");
    QTEST(w.heightUnit, "heightUnit");
    QTEST(w.timeSwitch, "timeSwitch");
}

void TestMainWindow::storedGeometryIsRestored()
{
    QByteArray geometry;
    {
        MainWindow w;
        w.setWindowState(Qt::WindowNoState);
        w.setGeometry(40, 50, 640, 480);
        geometry = w.saveGeometry();
    }
    store().setValue(QStringLiteral("geometry"), geometry);
    MainWindow w;
    QVERIFY(!(w.windowState() & Qt::WindowMaximized));
    QCOMPARE(w.size(), QSize(640, 480));
}

void TestMainWindow::closingStoresAllFive()
{
    MainWindow w;
    w.show();
    w.milesAct->setChecked(true);
    w.feetAct->setChecked(true);
    w.utcTimeAct->setChecked(true);
    w.directory = QStringLiteral("/tmp/trips");
    QVERIFY(w.close());

    QSettings s = store();
    QVERIFY(!s.value(QStringLiteral("geometry")).toByteArray().isEmpty());
    QCOMPARE(s.value(QStringLiteral("directory")).toString(), QStringLiteral("/tmp/trips"));
    QCOMPARE(s.value(QStringLiteral("speedUnit")).toInt(), 1);
    QCOMPARE(s.value(QStringLiteral("heightUnit")).toInt(), 1);
    QCOMPARE(s.value(QStringLiteral("timeSwitch")).toInt(), 0);
}

void TestMainWindow::exitStoresNothing()
{
    MainWindow w;
    w.show();
    w.milesAct->setChecked(true);
    w.exitAct->trigger();
    QCoreApplication::processEvents();
    QVERIFY(store().allKeys().isEmpty());
}

void TestMainWindow::frame()
{
    MainWindow w;
    QCOMPARE(w.windowTitle(), QStringLiteral("LX-300 S-ANX-21-0904113"));
    QCOMPARE(w.objectName(), QStringLiteral("MainWindow"));
    QCOMPARE(w.menuBar()->objectName(), QStringLiteral("menuBar"));

    struct Expected
    {
        QAction *action;
        const char *text;
        bool icon;
        bool checkable;
    };
    const Expected expected[] = {
        {w.openAct, "&Open", true, false},
        {w.saveAct, "&Save", true, false},
        {w.exitAct, "E&xit", false, false},
        {w.filterAct, "Filter", true, false},
        {w.downloadAct, "Download all track points", true, false},
        {w.deleteAct, "Delete all track points", true, false},
        {w.deviceSettingAct, "Device setting", true, false},
        {w.playAct, "play", true, false},
        {w.rewindAct, "rewind", true, false},
        {w.aboutAct, "&About", false, false},
        {w.kilometersAct, "Kilometers", false, true},
        {w.milesAct, "Miles", false, true},
        {w.feetAct, "Feet", false, true},
        {w.meterAct, "Meter", false, true},
        {w.utcTimeAct, "UTC time", false, true},
        {w.localTimeAct, "Local time", false, true},
    };
    for (const Expected &e : expected) {
        QCOMPARE(e.action->text(), QString::fromLatin1(e.text));
        QCOMPARE(!e.action->icon().isNull(), e.icon);
        QCOMPARE(e.action->isCheckable(), e.checkable);
        const bool deviceAction =
            e.action == w.downloadAct || e.action == w.deleteAct || e.action == w.deviceSettingAct;
        QCOMPARE(e.action->isEnabled(), !deviceAction);
    }
    QCOMPARE(w.aboutAct->statusTip(), QStringLiteral("Show the application's About box"));

    QCOMPARE(w.deviceActionGroup->actions(),
             (QList<QAction *>{w.downloadAct, w.deleteAct, w.deviceSettingAct}));
    QCOMPARE(w.speedUnitGroup->actions(), (QList<QAction *>{w.kilometersAct, w.milesAct}));
    QCOMPARE(w.heightUnitGroup->actions(), (QList<QAction *>{w.feetAct, w.meterAct}));
    QCOMPARE(w.timeGroup->actions(), (QList<QAction *>{w.localTimeAct, w.utcTimeAct}));
    QVERIFY(w.speedUnitGroup->isExclusive());
    QVERIFY(!w.deviceActionGroup->isEnabled());

    QVERIFY(!w.connectButton->isEnabled());
    QVERIFY(w.portComboBox->isEnabled());
    QCOMPARE(w.connectButton->text(), QStringLiteral("Connect"));
    QCOMPARE(w.portComboBox->width(), 180);
}

void TestMainWindow::menus()
{
    MainWindow w;
    QStringList titles;
    for (QAction *a : w.menuBar()->actions())
        titles << a->text();
    QCOMPARE(titles, (QStringList{"&File", "Device", "Unit", "Time", "Help"}));

    auto texts = [](QMenu *m) {
        QStringList list;
        for (QAction *a : m->actions())
            list << (a->isSeparator() ? QStringLiteral("|") : a->text());
        return list;
    };
    QCOMPARE(texts(w.fileMenu), (QStringList{"&Open", "&Save", "|", "E&xit"}));
    QCOMPARE(texts(w.deviceMenu), (QStringList{"Download all track points",
                                               "Delete all track points", "Device setting"}));
    QCOMPARE(texts(w.unitMenu), (QStringList{"Speed", "Height"}));
    QCOMPARE(texts(w.speedMenu), (QStringList{"Kilometers", "Miles"}));
    QCOMPARE(texts(w.heightMenu), (QStringList{"Meter", "Feet"}));
    QCOMPARE(texts(w.timeMenu), (QStringList{"Local time", "UTC time"}));
    QCOMPARE(texts(w.helpMenu), (QStringList{"&About"}));
}

void TestMainWindow::toolBar()
{
    MainWindow w;
    QToolBar *bar = w.fileToolBar;
    QCOMPARE(bar->windowTitle(), QStringLiteral("File"));
    QVERIFY(!bar->isFloatable());
    QVERIFY(!bar->isMovable());
    QCOMPARE(bar->toolButtonStyle(), Qt::ToolButtonIconOnly);

    QStringList items;
    for (QAction *a : bar->actions()) {
        if (a->isSeparator()) {
            items << QStringLiteral("|");
        } else if (QWidget *widget = bar->widgetForAction(a); widget && a->text().isEmpty()) {
            if (auto *label = qobject_cast<QLabel *>(widget))
                items << label->text();
            else if (widget == w.speedSlider)
                items << QStringLiteral("slider");
            else if (widget->isAncestorOf(w.portComboBox))
                items << QStringLiteral("port box");
        } else {
            items << a->text();
        }
    }
    QCOMPARE(items, (QStringList{"&Open", "&Save", "|", "Filter", "|", "Download all track points",
                                 "Delete all track points", "Device setting", "|", "port box", "|",
                                 "rewind", "play", "Speed:", "slider"}));

    QCOMPARE(w.speedSlider->orientation(), Qt::Horizontal);
    QCOMPARE(w.speedSlider->minimum(), 0);
    QCOMPARE(w.speedSlider->maximum(), 2);
    QCOMPARE(w.speedSlider->value(), 0);
    QCOMPARE(w.speedSlider->tickPosition(), QSlider::TicksBelow);
    QCOMPARE(w.speedSlider->width(), 100);
}

void TestMainWindow::toggledFollowsActions()
{
    MainWindow w;
    w.milesAct->setChecked(true);
    QCOMPARE(w.speedUnit, 1);
    w.kilometersAct->setChecked(true);
    QCOMPARE(w.speedUnit, 0);
    w.feetAct->setChecked(true);
    QCOMPARE(w.heightUnit, 1);
    w.utcTimeAct->setChecked(true);
    QCOMPARE(w.timeSwitch, 0);
    w.localTimeAct->trigger();
    QCOMPARE(w.timeSwitch, 1);
}

void TestMainWindow::iconsAreCompiledIn_data()
{
    QTest::addColumn<QString>("name");
    for (const char *name : {"LX300_SW_Icon", "open", "save", "search", "download", "clean",
                             "setting", "play", "pause", "rewind"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void TestMainWindow::iconsAreCompiledIn()
{
    QFETCH(QString, name);
    const QImage image(QStringLiteral(":/images/%1.png").arg(name));
    QVERIFY(!image.isNull());
    QVERIFY(image.width() >= 32);
    // Something is drawn: not every pixel is transparent.
    bool drawn = false;
    for (int y = 0; y < image.height() && !drawn; ++y)
        for (int x = 0; x < image.width() && !drawn; ++x)
            drawn = qAlpha(image.pixel(x, y)) > 0;
    QVERIFY(drawn);
}

void TestMainWindow::aboutBoxNamesTheBuild()
{
    MainWindow w;
    QString title;
    QString text;
    QTimer::singleShot(0, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        QVERIFY(box);
        title = box->windowTitle();
        text = box->text();
        box->accept();
    });
    w.about();
    QCOMPARE(title, QStringLiteral("About LX300 Tool"));
    QVERIFY(text.startsWith(QStringLiteral("LX-300 S-ANX-21-0904113\n")));
    QCOMPARE(text.count(QLatin1Char('\n')), 1);
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
