#include "tools/cli/cliparse.h"

#include <QRegularExpression>

#include <algorithm>
#include <iterator>

bool parseTrackSelection(const QString &text, int count, QList<int> *selection, QString *error)
{
    selection->clear();
    if (text == QLatin1String("all")) {
        for (int i = 0; i < count; ++i)
            selection->append(i);
        return true;
    }
    static const QRegularExpression numbers(QStringLiteral("^\\d{1,9}(,\\d{1,9})*$"));
    if (!numbers.match(text).hasMatch()) {
        *error =
            QStringLiteral("--tracks takes all or numbers separated by commas, not '%1'").arg(text);
        return false;
    }
    for (const QString &n : text.split(QLatin1Char(','))) {
        const int number = n.toInt();
        if (number < 1) {
            *error = QStringLiteral("--tracks: tracks count from 1, not %1").arg(number);
            return false;
        }
        if (number > count) {
            *error = QStringLiteral("there is no track %1; there are %2").arg(number).arg(count);
            return false;
        }
        selection->append(number - 1);
    }
    return true;
}

namespace {
bool digitsUpTo(const QString &value, int count)
{
    return QRegularExpression(QStringLiteral("^\\d{1,%1}$").arg(count)).match(value).hasMatch();
}

bool setFlag(bool *target, const QString &value)
{
    if (value != QLatin1String("0") && value != QLatin1String("1"))
        return false;
    *target = value == QLatin1String("1");
    return true;
}

bool setDigits(QString *target, const QString &value, int count)
{
    if (!digitsUpTo(value, count))
        return false;
    *target = value;
    return true;
}

// Each key with the values the settings dialog's fields allow.
using Setter = bool (*)(DeviceConfigForm &, const QString &);
const struct
{
    const char *key;
    Setter set;
} Setters[] = {
    {"logFormat",
     [](DeviceConfigForm &f, const QString &v) {
         if (v != QLatin1String("1") && v != QLatin1String("2"))
             return false;
         f.logFormat = v.toInt();
         return true;
     }},
    {"waasEnabled",
     [](DeviceConfigForm &f, const QString &v) { return setFlag(&f.waasEnabled, v); }},
    {"speedThresholdEnabled",
     [](DeviceConfigForm &f, const QString &v) { return setFlag(&f.speedThresholdEnabled, v); }},
    {"radiusEnabled",
     [](DeviceConfigForm &f, const QString &v) { return setFlag(&f.radiusEnabled, v); }},
    {"speedThreshold",
     [](DeviceConfigForm &f, const QString &v) { return setDigits(&f.speedThreshold, v, 4); }},
    {"radius", [](DeviceConfigForm &f, const QString &v) { return setDigits(&f.radius, v, 5); }},
    {"timeInterval",
     [](DeviceConfigForm &f, const QString &v) { return setDigits(&f.timeInterval, v, 5); }},
    {"distanceInterval",
     [](DeviceConfigForm &f, const QString &v) { return setDigits(&f.distanceInterval, v, 4); }},
    {"intervalMode",
     [](DeviceConfigForm &f, const QString &v) {
         if (v != QLatin1String("time") && v != QLatin1String("distance"))
             return false;
         f.intervalMode = v == QLatin1String("distance") ? 1 : 0;
         return true;
     }},
};
} // namespace

bool setFormValue(DeviceConfigForm &form, const QString &assignment, QString *error)
{
    const int eq = int(assignment.indexOf(QLatin1Char('=')));
    if (eq >= 0) {
        const QString key = assignment.left(eq);
        const auto *setter =
            std::find_if(std::begin(Setters), std::end(Setters),
                         [&](const auto &s) { return key == QLatin1String(s.key); });
        if (setter == std::end(Setters)) {
            *error = QStringLiteral("unknown setting '%1'").arg(key);
            return false;
        }
        if (setter->set(form, assignment.mid(eq + 1)))
            return true;
    }
    *error = QStringLiteral("bad setting '%1'").arg(assignment);
    return false;
}
