#ifndef XMLEXPORT_H
#define XMLEXPORT_H

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
        if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
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
        if (failed) {
            file.cancelWriting();
            file.commit();
            return false;
        }
        return file.commit();
    }
    QString errorString() const { return file.errorString(); }

private:
    QSaveFile file;
};

#endif // XMLEXPORT_H
