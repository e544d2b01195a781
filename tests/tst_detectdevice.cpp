#include "device/detectdevicethread.h"

#include <QtTest>

#include <mutex>

Q_DECLARE_METATYPE(QList<SerialPortEntry>)

// Takes the reports in the detection thread itself, under a standard lock, so
// ThreadSanitizer can follow the hand-over (Qt's event queue is invisible to it).
class Receiver : public QObject
{
    Q_OBJECT
public:
    QVector<QStringList> reports() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return list;
    }
public slots:
    void onDiscovered(QStringList names)
    {
        std::lock_guard<std::mutex> lock(mutex);
        list.append(names);
    }

private:
    mutable std::mutex mutex;
    QVector<QStringList> list;
};

class TestDetectDevice : public QObject
{
    Q_OBJECT

private slots:
    void usbFilter_data();
    void usbFilter();
    void reportsEverySecondEvenWhenEmpty();
    void systemPortsNameTheirPorts();
};

void TestDetectDevice::usbFilter_data()
{
    QTest::addColumn<QList<SerialPortEntry>>("ports");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("COM3 only") << QList<SerialPortEntry>{{"COM3", "USB Serial Port (COM3)"},
                                                         {"COM1", "Communications Port (COM1)"}}
                               << QStringList{"COM3"};
    QTest::newRow("lower case does not match")
        << QList<SerialPortEntry>{{"COM5", "usb serial (COM5)"}} << QStringList{};
    QTest::newRow("order kept") << QList<SerialPortEntry>{{"COM9", "USB A (COM9)"},
                                                          {"COM2", "Bluetooth (COM2)"},
                                                          {"COM4", "Prolific USB (COM4)"}}
                                << QStringList{"COM9", "COM4"};
    QTest::newRow("Linux ttyUSB without description")
        << QList<SerialPortEntry>{{"ttyUSB0", " (ttyUSB0)"}, {"ttyS0", " (ttyS0)"}}
        << QStringList{"ttyUSB0"};
    QTest::newRow("nothing") << QList<SerialPortEntry>{} << QStringList{};
}

void TestDetectDevice::usbFilter()
{
    QFETCH(QList<SerialPortEntry>, ports);
    QTEST(DetectDeviceThread::usbPortNames(ports), "names");
}

void TestDetectDevice::reportsEverySecondEvenWhenEmpty()
{
    QList<SerialPortEntry> ports = {{"ttyUSB1", "FT232R USB UART (ttyUSB1)"}};
    std::mutex mutex;
    Receiver receiver; // outlives the thread that reports into it
    DetectDeviceThread thread;
    thread.setPortLister([&] {
        std::lock_guard<std::mutex> lock(mutex);
        return ports;
    });
    connect(&thread, &DetectDeviceThread::deviceDiscovered, &receiver, &Receiver::onDiscovered,
            Qt::DirectConnection);
    QElapsedTimer clock;
    clock.start();
    thread.startDetection();
    QTRY_COMPARE_WITH_TIMEOUT(receiver.reports().size(), 1, 1000);
    QCOMPARE(receiver.reports()[0], QStringList{"ttyUSB1"});
    {
        std::lock_guard<std::mutex> lock(mutex);
        ports.clear();
    }
    QTRY_COMPARE_WITH_TIMEOUT(receiver.reports().size(), 2, 2000);
    QVERIFY(clock.elapsed() >= 900);
    QCOMPARE(receiver.reports()[1], QStringList{}); // an empty list is still reported
    thread.stopDetection();
    QVERIFY(thread.isFinished());
}

void TestDetectDevice::systemPortsNameTheirPorts()
{
    // Whatever ports this machine has, each friendly name ends in "(name)".
    for (const SerialPortEntry &port : DetectDeviceThread::systemPorts())
        QVERIFY(port.friendlyName.endsWith(QStringLiteral("(%1)").arg(port.portName)));
}

QTEST_GUILESS_MAIN(TestDetectDevice)
#include "tst_detectdevice.moc"
