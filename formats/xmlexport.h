#ifndef XMLEXPORT_H
#define XMLEXPORT_H

#include "formats/filetarget.h"

#include <QSaveFile>
#include <QString>
#include <QXmlStreamWriter>

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
