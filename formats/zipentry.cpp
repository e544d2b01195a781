#include "formats/zipentry.h"

#include "formats/trackinput.h"

#include <QFile>

#include <zip.h>

#include <memory>

namespace ZipEntry {

namespace {
using TrackInput::tr;

struct ArchiveCloser
{
    void operator()(zip_t *z) const { zip_discard(z); }
};
struct FileCloser
{
    void operator()(zip_file_t *f) const { zip_fclose(f); }
};

// The index of the KML to read; -1 when there is none.
qint64 findKml(zip_t *zip, qint64 entries)
{
    qint64 first = -1;
    for (qint64 i = 0; i < entries; ++i) {
        const char *name = zip_get_name(zip, zip_uint64_t(i), 0);
        if (!name)
            continue;
        const QString entry = QString::fromUtf8(name);
        if (entry.compare(QLatin1String("doc.kml"), Qt::CaseInsensitive) == 0)
            return i;
        if (first < 0 && entry.endsWith(QLatin1String(".kml"), Qt::CaseInsensitive))
            first = i;
    }
    return first;
}

// The entry's bytes, never more than its stated size or the bound.
bool readEntry(zip_t *zip, qint64 index, QByteArray *out, QString *error)
{
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(zip, zip_uint64_t(index), 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE)) {
        *error = tr("its KML cannot be found in the archive.");
        return false;
    }
    if ((st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE) {
        *error = tr("its KML is encrypted.");
        return false;
    }
    const qint64 size = qint64(st.size);
    const qint64 packed = (st.valid & ZIP_STAT_COMP_SIZE) ? qint64(st.comp_size) : size;
    if (size > MaxBytes || (size > (1 << 20) && size > MaxRatio * qMax<qint64>(packed, 1))) {
        *error =
            tr("its KML would unpack to %1 MB, more than a track file can be.").arg(size >> 20);
        return false;
    }
    std::unique_ptr<zip_file_t, FileCloser> file(zip_fopen_index(zip, zip_uint64_t(index), 0));
    if (!file) {
        *error = QString::fromUtf8(zip_strerror(zip));
        return false;
    }
    out->resize(size);
    qint64 done = 0;
    while (done < size) {
        const zip_int64_t n = zip_fread(file.get(), out->data() + done, zip_uint64_t(size - done));
        if (n < 0) {
            *error = QString::fromUtf8(zip_file_strerror(file.get()));
            return false;
        }
        if (n == 0)
            break;
        done += n;
    }
    char more;
    if (done != size || zip_fread(file.get(), &more, 1) != 0) {
        *error = tr("the archive is damaged: its KML is not the size it says.");
        return false;
    }
    return true;
}
} // namespace

bool readFirstKml(const QString &fileName, QByteArray *kml, QString *error)
{
    int code = 0;
    std::unique_ptr<zip_t, ArchiveCloser> zip(
        zip_open(QFile::encodeName(fileName).constData(), ZIP_RDONLY, &code));
    if (!zip) {
        zip_error_t e;
        zip_error_init_with_code(&e, code);
        *error = tr("it is not a readable zip archive (%1).")
                     .arg(QString::fromUtf8(zip_error_strerror(&e)));
        zip_error_fini(&e);
        return false;
    }
    const qint64 entries = zip_get_num_entries(zip.get(), 0);
    if (entries > MaxEntries) {
        *error = tr("the archive holds %1 files, more than a KMZ does.").arg(entries);
        return false;
    }
    const qint64 index = findKml(zip.get(), entries);
    if (index < 0) {
        *error = tr("the archive holds no KML file.");
        return false;
    }
    return readEntry(zip.get(), index, kml, error);
}

} // namespace ZipEntry
