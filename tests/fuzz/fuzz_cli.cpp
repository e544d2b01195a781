// The command-line tool's argument parsing: --tracks lists, --set
// assignments applied with the settings dialog's rules, and a command's
// option parsing. Input: arguments separated by newlines.
#include "tools/cli/cliparse.h"

#include <QCommandLineParser>
#include <QStringList>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QStringList args =
        QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size)).split('\n');

    DeviceConfig config;
    config.timeInterval = 5000;
    DeviceConfigForm form = DeviceConfigForm::fromConfig(config);
    for (const QString &arg : args) {
        QList<int> selection;
        QString error;
        if (parseTrackSelection(arg, 50, &selection, &error)) {
            for (int i : selection)
                if (i < 0 || i >= 50)
                    abort();
        } else if (error.isEmpty()) {
            abort();
        }
        if (!setFormValue(form, arg, &error) && error.isEmpty())
            abort();
    }
    QString message;
    DeviceConfigForm::Field field;
    DeviceConfig edited = config;
    if (form.applyTo(edited, &message, &field)) {
        if (edited.timeInterval < 1000 || edited.timeInterval > 1800000)
            abort();
    } else if (message.isEmpty()) {
        abort();
    }

    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOptions({{QStringLiteral("port"), QString(), QStringLiteral("PORT")},
                       {QStringLiteral("output"), QString(), QStringLiteral("FILE")},
                       {QStringLiteral("tracks"), QString(), QStringLiteral("N")},
                       {QStringLiteral("marked-only"), QString()},
                       {QStringLiteral("set"), QString(), QStringLiteral("KEY=VALUE")}});
    parser.parse(QStringList{QStringLiteral("lx300-cli")} + args);
    return 0;
}
