#include "app/devicesettingdialog.h"
#include "app/filterdialog.h"
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

namespace {
DeviceConfig sampleConfig()
{
    DeviceConfig c;
    c.logFormat = 2;
    c.speedThresholdEnabled = 1;
    c.speedThreshold = 1050;
    c.radius = 25;
    c.timeInterval = 5500;
    c.value16 = 0x11223344;
    c.byte27 = 0x9A;
    c.distanceInterval = 100;
    c.value37 = 0x0BADF00D;
    c.waasEnabled = 1;
    c.memoryUsage = -3;
    return c;
}

void retype(QLineEdit *edit, const QString &text)
{
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}
} // namespace

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
    void trackSelection();
    void settingsShown_data();
    void settingsShown();
    void settingsRanges_data();
    void settingsRanges();
    void settingsEnabling();
    void filterValues_data();
    void filterValues();
};

void TestDialogs::trackSelection()
{
    // 2009-04-11 05:45:00, 2009-04-12 06:00:00 UTC and an impossible date.
    TrackFileHeaderDialog dialog({{54500, 110409, {7, 8}}, {60000, 120409, {9}}, {0, 0, {10, 11}}});
    QTreeWidgetItem *root = dialog.tree()->topLevelItem(0);
    QCOMPARE(root->childCount(), 3);
    QCOMPARE(root->child(0)->text(0), QStringLiteral("1"));
    QCOMPARE(root->child(0)->text(1), QStringLiteral("2009-04-11 - 13:45:00")); // local
    QCOMPARE(root->child(1)->text(1), QStringLiteral("2009-04-12 - 14:00:00"));
    root->setCheckState(0, Qt::Checked);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(root->child(i)->checkState(0), Qt::Checked);
    root->child(1)->setCheckState(0, Qt::Unchecked);
    QCOMPARE(root->checkState(0), Qt::PartiallyChecked);
    dialog.Apply();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.tracks().size(), 2);
    QCOMPARE(dialog.tracks()[0].startTime, 1239428700u);
    QCOMPARE(dialog.tracks()[1].startTime, 0xFFFFFFFFu);
    QCOMPARE(dialog.blockIndexes(), (QVector<int>{7, 8, 10, 11}));

    TrackFileHeaderDialog closed({{54500, 110409, {7}}});
    closed.findChildren<QPushButton *>().at(1)->click(); // Close
    QCOMPARE(closed.result(), int(QDialog::Rejected));
}

void TestDialogs::settingsShown_data()
{
    QTest::addColumn<int>("logFormat");
    QTest::addColumn<bool>("shortChecked");
    QTest::addColumn<bool>("altitudeChecked");
    QTest::newRow("format 2") << 2 << false << true;
    QTest::newRow("format 1") << 1 << true << false;
    QTest::newRow("format 3: neither, kept") << 3 << false << false;
}

void TestDialogs::settingsShown()
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
    retype(dialog.timeIntervalEdit, time);
    retype(dialog.distanceIntervalEdit, distance);
    ModalAnswerer answer;
    if (!message.isEmpty())
        answer.answerMessage();
    dialog.show();
    dialog.apply();
    if (message.isEmpty()) {
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.editedConfig().intervalMode, quint8(byDistance ? 1 : 0));
        QCOMPARE(dialog.editedConfig().timeInterval, time.isEmpty() ? 5500 : time.toInt() * 1000);
        QCOMPARE(dialog.editedConfig().distanceInterval, distance.toInt());
        return;
    }
    QCOMPARE(answer.messages, QStringList{message});
    QCOMPARE(answer.icons.first(), QMessageBox::Information);
    QVERIFY(dialog.isVisible()); // stays open, the faulty field's last edit undone
    const bool timeWrong = message.contains("1800");
    QVERIFY((timeWrong ? dialog.timeIntervalEdit : dialog.distanceIntervalEdit)->text() !=
            (timeWrong ? time : distance));
}

void TestDialogs::settingsEnabling()
{
    const DeviceConfig config = sampleConfig();
    DeviceSettingDialog dialog(&config);
    dialog.show();
    QVERIFY(dialog.speedThresholdEdit->isEnabled());
    QVERIFY(!dialog.radiusEdit->isEnabled());
    QVERIFY(!dialog.distanceIntervalEdit->isEnabled());
    dialog.speedThresholdCheck->setChecked(false);
    dialog.radiusCheck->setChecked(true);
    dialog.byDistanceRadio->setChecked(true);
    QVERIFY(!dialog.speedThresholdEdit->isEnabled());
    QVERIFY(dialog.radiusEdit->isEnabled());
    QVERIFY(!dialog.timeIntervalEdit->isEnabled());
    QVERIFY(dialog.distanceIntervalEdit->isEnabled());
    // A click selects the whole field, so typing replaces it.
    dialog.radiusEdit->deselect();
    QTest::mouseClick(dialog.radiusEdit, Qt::LeftButton);
    QCOMPARE(dialog.radiusEdit->selectedText().trimmed(), QStringLiteral("25"));
    QTest::keyClicks(dialog.radiusEdit, QStringLiteral("9"));
    dialog.apply();
    QCOMPARE(dialog.editedConfig().speedThresholdEnabled, quint8(0));
    QCOMPARE(dialog.editedConfig().speedThreshold, 1000); // the disabled field still counts
    QCOMPARE(dialog.editedConfig().radiusEnabled, quint8(1));
    QCOMPARE(dialog.editedConfig().radius, 9);
    QCOMPARE(dialog.editedConfig().intervalMode, quint8(1));
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
    QTest::newRow("text") << "radioGreater"
                          << "fast" << 1 << -1.0f << false;
    QTest::newRow("empty") << "radioGreaterEqual"
                           << "" << 2 << -1.0f << false;
    QTest::newRow("marks ignore the text") << "radioMarkPoint"
                                           << "" << 6 << -1.0f << true;
}

void TestDialogs::filterValues()
{
    QFETCH(QString, radio);
    QFETCH(QString, text);
    FilterDialog dialog;
    QCOMPARE(dialog.rule(), 1);
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

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
