#ifndef FIXEDTEXT_H
#define FIXEDTEXT_H

#include <QByteArray>
#include <QString>

// A number in fixed notation with `decimals` digits, as the C library's printf("%.Nf")
// writes it: a value exactly halfway between two such numbers, as stored in binary
// (100.125, 20.625), goes to the even digit. Qt's own conversion rounds it away from zero.
QByteArray fixedBytes(double value, int decimals);
// The shortest text that reads back as the same double ("47.25", "8.123456789012345").
QByteArray shortestBytes(double value);
inline QString fixedText(double value, int decimals)
{
    return QString::fromLatin1(fixedBytes(value, decimals));
}

#endif // FIXEDTEXT_H
