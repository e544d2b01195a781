#include "tools/cli/cliparse.h"

#include <QRegularExpression>

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

bool setFormValue(DeviceConfigForm &form, const QString &assignment, QString *error)
{
    const int eq = assignment.indexOf(QLatin1Char('='));
    const QString key = assignment.left(eq);
    const QString value = eq < 0 ? QString() : assignment.mid(eq + 1);
    auto digits = [&](int count) {
        return QRegularExpression(QStringLiteral("^\\d{1,%1}$").arg(count)).match(value).hasMatch();
    };
    auto flag = [&](bool *target) {
        if (value != QLatin1String("0") && value != QLatin1String("1"))
            return false;
        *target = value == QLatin1String("1");
        return true;
    };
    bool ok = false;
    if (eq < 0) {
        ok = false;
    } else if (key == QLatin1String("logFormat")) {
        ok = value == QLatin1String("1") || value == QLatin1String("2");
        if (ok)
            form.logFormat = value.toInt();
    } else if (key == QLatin1String("waasEnabled")) {
        ok = flag(&form.waasEnabled);
    } else if (key == QLatin1String("speedThresholdEnabled")) {
        ok = flag(&form.speedThresholdEnabled);
    } else if (key == QLatin1String("radiusEnabled")) {
        ok = flag(&form.radiusEnabled);
    } else if (key == QLatin1String("speedThreshold")) {
        if ((ok = digits(4)))
            form.speedThreshold = value;
    } else if (key == QLatin1String("radius")) {
        if ((ok = digits(5)))
            form.radius = value;
    } else if (key == QLatin1String("timeInterval")) {
        if ((ok = digits(5)))
            form.timeInterval = value;
    } else if (key == QLatin1String("distanceInterval")) {
        if ((ok = digits(4)))
            form.distanceInterval = value;
    } else if (key == QLatin1String("intervalMode")) {
        ok = value == QLatin1String("time") || value == QLatin1String("distance");
        if (ok)
            form.intervalMode = value == QLatin1String("distance") ? 1 : 0;
    } else {
        *error = QStringLiteral("unknown setting '%1'").arg(key);
        return false;
    }
    if (!ok)
        *error = QStringLiteral("bad setting '%1'").arg(assignment);
    return ok;
}
