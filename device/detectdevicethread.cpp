#include "device/detectdevicethread.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSerialPortInfo>

namespace {
DetectDeviceThread::PortLister &defaultLister()
{
    static DetectDeviceThread::PortLister lister = &DetectDeviceThread::systemPorts;
    return lister;
}
} // namespace

DetectDeviceThread::DetectDeviceThread(QObject *parent) : QThread(parent), lister(defaultLister())
{}

void DetectDeviceThread::setDefaultPortLister(PortLister portLister)
{
    defaultLister() = std::move(portLister);
}

DetectDeviceThread::~DetectDeviceThread()
{
    stopDetection();
}

void DetectDeviceThread::startDetection()
{
    running = true;
    start();
}

void DetectDeviceThread::stopDetection()
{
    running = false;
    wait();
}

void DetectDeviceThread::setPortLister(PortLister portLister)
{
    lister = std::move(portLister);
}

QList<SerialPortEntry> DetectDeviceThread::systemPorts()
{
    QList<SerialPortEntry> ports;
    const QList<QSerialPortInfo> infos = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : infos) {
        // Linux lists ttyUSB ports with a bare description; add the port name in
        // parentheses the way Windows names its ports.
        ports.append(
            {info.portName(), QStringLiteral("%1 (%2)").arg(info.description(), info.portName())});
    }
    return ports;
}

bool DetectDeviceThread::isUsbPort(const SerialPortEntry &port)
{
    static const QRegularExpression usb(QStringLiteral("USB"));
    return usb.match(port.friendlyName).hasMatch();
}

QStringList DetectDeviceThread::usbPortNames(const QList<SerialPortEntry> &ports)
{
    QStringList names;
    for (const SerialPortEntry &port : ports) {
        if (isUsbPort(port))
            names.append(port.portName);
    }
    return names;
}

void DetectDeviceThread::run()
{
    while (running) {
        emit deviceDiscovered(usbPortNames(lister()));
        // Sleep a second, looking at the flag often so a stop does not wait it out.
        QElapsedTimer pause;
        pause.start();
        while (running && pause.elapsed() < 1000)
            msleep(20);
    }
}
