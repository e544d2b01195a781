#ifndef CLIPARSE_H
#define CLIPARSE_H

#include "device/deviceconfigform.h"

#include <QList>
#include <QString>

// The command-line tool's value parsing, apart from the tool so it can be
// tested and fuzzed on its own.

// "all" or track numbers from 1, as indexes into `count` tracks.
bool parseTrackSelection(const QString &text, int count, QList<int> *selection, QString *error);

// Applies one KEY=VALUE of `config --set` to the form, with the limits the
// settings dialog's input masks allow; false with a message for a usage error.
bool setFormValue(DeviceConfigForm &form, const QString &assignment, QString *error);

#endif // CLIPARSE_H
