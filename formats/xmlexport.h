#ifndef XMLEXPORT_H
#define XMLEXPORT_H

#include "formats/filetarget.h"

#include <QSaveFile>
#include <QString>
#include <QXmlStreamWriter>

// A text as XML 1.0 can hold it: the control characters it forbids (a name read from a binary
// file or JSON may carry them) left out, so that a name never makes an export fail.
inline QString xmlText(const QString &text)
{
    QString kept;
    kept.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        const bool pair = QChar::isHighSurrogate(c) && i + 1 < text.size() &&
                          QChar::isLowSurrogate(text[i + 1].unicode());
        if (pair) {
            kept += text[i];
            kept += text[++i];
        } else if ((c >= 0x20 || c == '\t' || c == '\n' || c == '\r') && !QChar::isSurrogate(c) &&
                   c != 0xFFFE && c != 0xFFFF) {
            kept += text[i];
        }
    }
    return kept;
}

// What the XML exports share: the file written through QSaveFile, so an
// existing file is replaced only when the new one is complete, and the
// writer's own indentation (four spaces, one element per line).
class XmlExportFile
{
public:
    explicit XmlExportFile(const QString &fileName) : file(fileName) {}

    bool open(QXmlStreamWriter &writer)
    {
        if (!FileTarget::writable(file.fileName(), &why) ||
            !file.open(QIODevice::WriteOnly | QIODevice::Text))
            return false;
        writer.setDevice(&file);
        writer.setAutoFormatting(true);
        writer.writeStartDocument();
        return true;
    }
    // Ends the document and replaces the file; false on any write error.
    bool finish(QXmlStreamWriter &writer)
    {
        writer.writeEndDocument();
        const bool failed = writer.hasError();
        writer.setDevice(nullptr);
        return failed ? FileTarget::abandon(file, &why) : FileTarget::commit(file, &why);
    }
    QString errorString() const { return why.isEmpty() ? file.errorString() : why; }

private:
    QSaveFile file;
    QString why;
};

#endif // XMLEXPORT_H
