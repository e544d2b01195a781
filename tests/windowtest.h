#ifndef WINDOWTEST_H
#define WINDOWTEST_H

#include "device/detectdevicethread.h"
#include "testsettings.h"

#include <QLoggingCategory>

#include <mutex>

// The serial ports a whole window under test sees: its detection thread lists
// these instead of the machine's.
namespace FakePorts {

inline std::mutex &mutex()
{
    static std::mutex m;
    return m;
}

inline QList<SerialPortEntry> &list()
{
    static QList<SerialPortEntry> ports;
    return ports;
}

inline void set(const QList<SerialPortEntry> &ports)
{
    std::lock_guard<std::mutex> lock(mutex());
    list() = ports;
}

} // namespace FakePorts

// Everything a test of the whole window needs before its application exists.
inline void prepareWindowTest()
{
    prepareGuiTest();
    QLoggingCategory::setFilterRules(QStringLiteral("lx300.*=false\ndefault.debug=false"));
    DetectDeviceThread::setDefaultPortLister([] {
        std::lock_guard<std::mutex> lock(FakePorts::mutex());
        return FakePorts::list();
    });
}

#endif // WINDOWTEST_H
