#ifndef TESTFILES_H
#define TESTFILES_H

#include <QFile>

// Whole files in and out; an unreadable file reads as empty.
inline QByteArray readAll(const QString &name)
{
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline bool writeAll(const QString &name, const QByteArray &bytes)
{
    QFile f(name);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

#endif // TESTFILES_H
