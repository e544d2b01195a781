#include "app/devicesettingdialog.h"
#include "app/filterdialog.h"
#include "app/myfiledialog.h"
#include "app/settinglineedit.h"
#include "app/trackfileheaderdialog.h"
#include "modalanswerer.h"
#include "testsettings.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <QtTest>

class TestDialogs : public QObject
{
    Q_OBJECT

public:
    static void initMain()
    {
        prepareGuiTest();
        qputenv("TZ", "XST-8");
    }

private slots:
    void trackDialogListsLocalStarts();
    void trackDialogCascadeAndApply();
    void trackDialogApplyWithNothing();
    void settingsShownAndWrittenBack_data();
    void settingsShownAndWrittenBack();
    void settingsRanges_data();
    void settingsRanges();
    void settingsEnablingRules();
    void settingLineEditSelectsAll();
    void filterValues_data();
    void filterValues();
    void saveDialogHasTheMarkedBox();

private:
    static QVector<TrackFileHeader> threeHeaders();
    static DeviceConfig sampleConfig();
};

QVector<TrackFileHeader> TestDialogs::threeHeaders()
{
    // 2009-04-11 05:45:00, 2009-04-12 06:00:00, and an impossible date.
    return {{54500, 110409, {7, 8}}, {60000, 120409, {9}}, {0, 0, {10, 11, 12}}};
}

DeviceConfig TestDialogs::sampleConfig()
{
    DeviceConfig c;
    c.logFormat = 2;
    c.speedThresholdEnabled = 1;
    c.speedThreshold = 1050;
    c.radiusEnabled = 0;
    c.radius = 25;
    c.timeInterval = 5500;
    c.value16 = 0x11223344;
    c.intervalMode = 0;
    c.byte27 = 0x9A;
    c.distanceInterval = 100;
    c.value37 = 0x0BADF00D;
    c.waasEnabled = 1;
    c.memoryUsage = -3;
    return c;
}

void TestDialogs::trackDialogListsLocalStarts()
{
    TrackFileHeaderDialog dialog(threeHeaders());
    QTreeWidgetItem *root = dialog.tree()->topLevelItem(0);
    QCOMPARE(dialog.tree()->headerItem()->text(0), QStringLiteral("Selection"));
    QCOMPARE(dialog.tree()->headerItem()->text(1), QStringLiteral("Track Files"));
    QCOMPARE(root->text(1), QStringLiteral("LX-300 files"));
    QVERIFY(root->isExpanded());
    QCOMPARE(root->childCount(), 3);
    QCOMPARE(root->child(0)->text(0), QStringLiteral("1"));
    QCOMPARE(root->child(0)->text(1), QStringLiteral("2009-04-11 - 13:45:00"));
    QCOMPARE(root->child(1)->text(1), QStringLiteral("2009-04-12 - 14:00:00"));
    for (int i = 0; i < 3; ++i)
        QCOMPARE(root->child(i)->checkState(0), Qt::Unchecked);
}

void TestDialogs::trackDialogCascadeAndApply()
{
    TrackFileHeaderDialog dialog(threeHeaders());
    QTreeWidgetItem *root = dialog.tree()->topLevelItem(0);
    root->setCheckState(0, Qt::Checked);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(root->child(i)->checkState(0), Qt::Checked);
    root->child(1)->setCheckState(0, Qt::Unchecked);
    QCOMPARE(root->checkState(0), Qt::PartiallyChecked);
    root->child(0)->setCheckState(0, Qt::Unchecked);
    root->child(2)->setCheckState(0, Qt::Unchecked);
    QCOMPARE(root->checkState(0), Qt::Unchecked);

    root->child(0)->setCheckState(0, Qt::Checked);
    root->child(2)->setCheckState(0, Qt::Checked);
    QCOMPARE(root->checkState(0), Qt::PartiallyChecked);
    dialog.Apply();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.tracks().size(), 2);
    QCOMPARE(dialog.tracks()[0].startTime, 1239428700u);
    QCOMPARE(dialog.tracks()[0].format, 0);
    QCOMPARE(dialog.tracks()[1].startTime, 0xFFFFFFFFu); // the impossible date
    QVERIFY(dialog.tracks()[1].points.isEmpty());
    QCOMPARE(dialog.blockIndexes(), (QVector<int>{7, 8, 10, 11, 12}));
}

void TestDialogs::trackDialogApplyWithNothing()
{
    TrackFileHeaderDialog empty({});
    QCOMPARE(empty.tree()->topLevelItem(0)->childCount(), 0);
    empty.Apply();
    QCOMPARE(empty.result(), int(QDialog::Accepted));
    QVERIFY(empty.tracks().isEmpty());
    QVERIFY(empty.blockIndexes().isEmpty());

    TrackFileHeaderDialog closed(threeHeaders());
    closed.findChildren<QPushButton *>().at(1)->click(); // Close
    QCOMPARE(closed.result(), int(QDialog::Rejected));
}

void TestDialogs::settingsShownAndWrittenBack_data()
{
    QTest::addColumn<int>("logFormat");
    QTest::addColumn<bool>("shortChecked");
    QTest::addColumn<bool>("altitudeChecked");
    QTest::newRow("format 2") << 2 << false << true;
    QTest::newRow("format 1") << 1 << true << false;
    QTest::newRow("format 3: neither, kept") << 3 << false << false;
}

void TestDialogs::settingsShownAndWrittenBack()
{
    QFETCH(int, logFormat);
    DeviceConfig config = sampleConfig();
    config.logFormat = quint8(logFormat);
    DeviceSettingDialog dialog(&config);
    QTEST(dialog.formatShortRadio->isChecked(), "shortChecked");
    QTEST(dialog.formatAltitudeRadio->isChecked(), "altitudeChecked");
    QCOMPARE(dialog.speedThresholdEdit->text(), QStringLiteral("10")); // 10.50 km/h shown whole
    QCOMPARE(dialog.timeIntervalEdit->text(), QStringLiteral("5"));    // 5.5 s shown whole
    QCOMPARE(dialog.radiusEdit->text(), QStringLiteral("25"));
    QCOMPARE(dialog.memoryUsageLabel->text(), QStringLiteral("-3%"));
    QVERIFY(dialog.waasCheck->isChecked());
    QVERIFY(dialog.byTimeRadio->isChecked());

    dialog.apply();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    DeviceConfig expected = config;
    expected.speedThreshold = 1000; // whole km/h only
    expected.timeInterval = 5000;
    QVERIFY(dialog.editedConfig() == expected); // unshown fields passed through
}

void TestDialogs::settingsRanges_data()
{
    QTest::addColumn<bool>("byDistance");
    QTest::addColumn<QString>("time");
    QTest::addColumn<QString>("distance");
    QTest::addColumn<QString>("message");
    QTest::newRow("time 1800 ok") << false << "1800"
                                  << "100"
                                  << "";
    QTest::newRow("time 1801") << false << "1801"
                               << "100"
                               << "The value range is 1 ~ 1800";
    QTest::newRow("time 0 by distance") << true << "0"
                                        << "100"
                                        << "The value range is 1 ~ 1800";
    QTest::newRow("distance 0 by time ok") << false << "5"
                                           << "0"
                                           << "";
    QTest::newRow("distance 5000 ok") << true << "5"
                                      << "5000"
                                      << "";
    QTest::newRow("distance 5001") << true << "5"
                                   << "5001"
                                   << "The value range is 1 ~ 5000";
    QTest::newRow("empty time keeps the value") << false << ""
                                                << "100"
                                                << "";
}

void TestDialogs::settingsRanges()
{
    QFETCH(bool, byDistance);
    QFETCH(QString, time);
    QFETCH(QString, distance);
    QFETCH(QString, message);
    const DeviceConfig config = sampleConfig();
    DeviceSettingDialog dialog(&config);
    (byDistance ? dialog.byDistanceRadio : dialog.byTimeRadio)->setChecked(true);
    dialog.distanceIntervalEdit->setEnabled(true);
    dialog.timeIntervalEdit->setEnabled(true);
    QTest::keyClick(dialog.timeIntervalEdit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(dialog.timeIntervalEdit, Qt::Key_Delete);
    QTest::keyClicks(dialog.timeIntervalEdit, time);
    QTest::keyClick(dialog.distanceIntervalEdit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(dialog.distanceIntervalEdit, Qt::Key_Delete);
    QTest::keyClicks(dialog.distanceIntervalEdit, distance);

    ModalAnswerer answer;
    if (!message.isEmpty())
        answer.answerMessage();
    dialog.show();
    dialog.apply();
    if (message.isEmpty()) {
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.editedConfig().intervalMode, quint8(byDistance ? 1 : 0));
        if (!time.isEmpty())
            QCOMPARE(dialog.editedConfig().timeInterval, time.toInt() * 1000);
        else
            QCOMPARE(dialog.editedConfig().timeInterval, 5500);
        QCOMPARE(dialog.editedConfig().distanceInterval, distance.toInt());
    } else {
        QCOMPARE(answer.messages, QStringList{message});
        QCOMPARE(answer.icons.first(), QMessageBox::Information);
        QVERIFY(dialog.isVisible()); // stays open
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        // The last edit of the faulty field is undone.
        QLineEdit *field =
            message.contains("1800") ? dialog.timeIntervalEdit : dialog.distanceIntervalEdit;
        QVERIFY(field->text() != (message.contains("1800") ? time : distance));
    }
}

void TestDialogs::settingsEnablingRules()
{
    const DeviceConfig config = sampleConfig();
    DeviceSettingDialog dialog(&config);
    QVERIFY(dialog.speedThresholdEdit->isEnabled());
    QVERIFY(!dialog.radiusEdit->isEnabled());
    QVERIFY(dialog.timeIntervalEdit->isEnabled());
    QVERIFY(!dialog.distanceIntervalEdit->isEnabled());
    dialog.speedThresholdCheck->setChecked(false);
    QVERIFY(!dialog.speedThresholdEdit->isEnabled());
    dialog.radiusCheck->setChecked(true);
    QVERIFY(dialog.radiusEdit->isEnabled());
    dialog.byDistanceRadio->setChecked(true);
    QVERIFY(!dialog.timeIntervalEdit->isEnabled());
    QVERIFY(dialog.distanceIntervalEdit->isEnabled());
    dialog.apply();
    QCOMPARE(dialog.editedConfig().speedThresholdEnabled, quint8(0));
    QCOMPARE(dialog.editedConfig().speedThreshold, 1000); // the disabled field still counts
    QCOMPARE(dialog.editedConfig().radiusEnabled, quint8(1));
    QCOMPARE(dialog.editedConfig().intervalMode, quint8(1));
    QCOMPARE(dialog.speedThresholdEdit->inputMask(), QStringLiteral("0000"));
}

void TestDialogs::settingLineEditSelectsAll()
{
    QWidget window;
    auto *edit = new SettingLineEdit(&window);
    edit->setText(QStringLiteral("1234"));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    edit->deselect();
    QTest::mouseClick(edit, Qt::LeftButton);
    QCOMPARE(edit->selectedText(), QStringLiteral("1234"));
    QTest::keyClicks(edit, QStringLiteral("9"));
    QCOMPARE(edit->text(), QStringLiteral("9"));
    edit->setEnabled(false);
    edit->deselect();
    QTest::mouseClick(edit, Qt::LeftButton);
    QCOMPARE(edit->selectedText(), QString());
}

void TestDialogs::filterValues_data()
{
    QTest::addColumn<QString>("radio");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("rule");
    QTest::addColumn<float>("value");
    QTest::addColumn<bool>("valid");
    QTest::newRow("> 10") << "radioGreater"
                          << "10" << 1 << 10.0f << true;
    QTest::newRow("= 10.1") << "radioEqual"
                            << "10.1" << 3 << 10.1f << true;
    QTest::newRow("<= 0") << "radioLessEqual"
                          << "0" << 5 << 0.0f << true;
    QTest::newRow("negative") << "radioLess"
                              << "-5" << 4 << -1.0f << false;
    QTest::newRow("-1") << "radioGreaterEqual"
                        << "-1" << 2 << -1.0f << false;
    QTest::newRow("text") << "radioGreater"
                          << "fast" << 1 << -1.0f << false;
    QTest::newRow("empty") << "radioGreater"
                           << "" << 1 << -1.0f << false;
    QTest::newRow("marks ignore the text") << "radioMarkPoint"
                                           << "" << 6 << -1.0f << true;
}

void TestDialogs::filterValues()
{
    QFETCH(QString, radio);
    QFETCH(QString, text);
    FilterDialog dialog;
    QCOMPARE(dialog.rule(), 1);
    QCOMPARE(dialog.value(), -1.0f);
    QVERIFY(dialog.radioGreater->isChecked());
    dialog.findChild<QRadioButton *>(radio)->click();
    QCOMPARE(dialog.lineEdit->isEnabled(), radio != "radioMarkPoint");
    dialog.lineEdit->setText(text);
    dialog.show();
    dialog.buttonBox->button(QDialogButtonBox::Ok)->click();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QTEST(dialog.rule(), "rule");
    QTEST(dialog.value(), "value");
    QTEST(dialog.isValid(), "valid");
}

void TestDialogs::saveDialogHasTheMarkedBox()
{
    MyFileDialog dialog;
    QCheckBox *box = dialog.markedOnlyBox();
    QCOMPARE(box->text(), QStringLiteral("Save marked points only"));
    QVERIFY(!dialog.isMarkedOnlyChecked());
    box->setChecked(true);
    QVERIFY(dialog.isMarkedOnlyChecked());
    QVERIFY(dialog.testOption(QFileDialog::DontUseNativeDialog));
}

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
