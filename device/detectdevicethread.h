#ifndef DETECTDEVICETHREAD_H
#define DETECTDEVICETHREAD_H

#include <QList>
#include <QString>
#include <QStringList>
#include <QThread>

#include <atomic>
#include <functional>

// One serial port as the system lists it.
struct SerialPortEntry
{
    QString portName;     // what to open, e.g. ttyUSB0 or COM3
    QString friendlyName; // what the system shows, e.g. "USB Serial Port (COM3)"
};

// Lists the serial ports once a second and reports those that may be a logger.
class DetectDeviceThread : public QThread
{
    Q_OBJECT

public:
    using PortLister = std::function<QList<SerialPortEntry>()>;

    explicit DetectDeviceThread(QObject *parent = nullptr);
    ~DetectDeviceThread() override;

    void startDetection();
    void stopDetection();

    // Replaces the system's port list (tests, simulated loggers). Set it
    // before startDetection.
    void setPortLister(PortLister lister);
    // The list new threads start with; for tests that build a whole window.
    static void setDefaultPortLister(PortLister lister);

    // The ports the system lists now, with friendly names in the form
    // "description (port name)".
    static QList<SerialPortEntry> systemPorts();
    // Port names whose friendly name contains "USB" (case-sensitive), in order.
    static QStringList usbPortNames(const QList<SerialPortEntry> &ports);
    static bool isUsbPort(const SerialPortEntry &port);

signals:
    void deviceDiscovered(QStringList portNameList);

protected:
    void run() override;

private:
    std::atomic<bool> running{false};
    PortLister lister;
};

#endif // DETECTDEVICETHREAD_H
