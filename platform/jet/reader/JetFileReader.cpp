#include "platform/jet/reader/JetFileReader.h"

#include "platform/jet/reader/JetFile.h"

#include <QSet>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

namespace Orvanta::Jet {

using namespace JetProtocol;

namespace {

bool nameWanted(const char* name, const QStringList& tables)
{
    if (tables.isEmpty())
        return true;
    const QString n = QString::fromUtf8(name);
    for (const QString& t : tables)
        if (n.compare(t, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

// The list of objects is the table MSysObjects, whose definition is always
// page 2 and which lists itself. When pages of it are lost, libmdb returns
// what it could read without a word. A list that lacks itself, or holds fewer
// objects than its definition counts, and names no table of the user's is
// damaged: the file must not pass for one without tables. One that still
// names tables serves them.
void checkCatalog(const GPtrArray* catalog, FilePages& pages, const MdbFormatConstants& format)
{
    constexpr std::uint32_t kCatalogPage = 2;
    const unsigned char* definition = pages.page(kCatalogPage);
    if (!definition)
        damaged("its list of tables cannot be read");
    const std::uint32_t counted = le32(definition + format.tab_num_rows_offset);
    bool listsItself = false;
    bool listsTables = false;
    for (guint i = 0; i < catalog->len; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(catalog, i));
        if (!entry || entry->object_type != MDB_TABLE)
            continue;
        if (entry->table_pg == kCatalogPage && g_ascii_strcasecmp(entry->object_name, "MSysObjects") == 0)
            listsItself = true;
        else if (mdb_is_user_table(entry))
            listsTables = true;
    }
    if (!listsTables && (!listsItself || catalog->len < counted))
        damaged("its list of tables is damaged");
}

} // namespace

void sendTables(const QString& path, const QStringList& tables, FrameOutput& out)
{
    const QByteArray localPath = path.toLocal8Bit();
    struct stat st {};
    if (::stat(localPath.constData(), &st) != 0)
        throw ReadFailure(ErrorCode::DatabaseFileNotFound, "the file cannot be found");
    if (!S_ISREG(st.st_mode))
        throw ReadFailure(ErrorCode::DatabaseFileNotFound, "it is not a file");

    std::unique_ptr<MdbHandle, MdbCloser> mdb(mdb_open(localPath.constData(), MDB_NOFLAGS));
    if (!mdb)
        throw ReadFailure(ErrorCode::UnrecognizedFormat, "it is not a Jet database");
    if (!mdb->fmt || mdb->fmt->pg_size <= 0 || mdb->fmt->pg_size > MDB_PGSIZE)
        throw ReadFailure(ErrorCode::UnrecognizedFormat, "it has an unknown page size");
    // A Jet file is whole pages. Of a file cut short, the whole pages are
    // read; what lay beyond is lost as a damaged page would be.
    const std::uint32_t pageCount = std::uint32_t(st.st_size / mdb->fmt->pg_size);
    const int fd = ::open(localPath.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw ReadFailure(ErrorCode::DatabaseFileNotFound, "the file cannot be read");
    struct FdCloser {
        int fd;
        ~FdCloser() { ::close(fd); }
    } closer{fd};
    FilePages pages(fd, int(mdb->fmt->pg_size), pageCount);

    JetFile file(mdb.get(), pages, out);

    // libmdb decodes Jet 3 names with the code page it is told; make that the
    // file's own before the catalog is read (when iconv knows it at all).
    if (mdb->f->jet_version == MDB_VER_JET3 && file.codePage() != 1252) {
        const std::string charset = "CP" + std::to_string(file.codePage());
        const iconv_t probe = ::iconv_open("UTF-8", charset.c_str());
        if (probe != iconv_t(-1)) {
            ::iconv_close(probe);
            ::setenv("MDB_JET3_CHARSET", charset.c_str(), 1);
            mdb_iconv_close(mdb.get());
            mdb_iconv_init(mdb.get());
        }
    }

    {
        std::string& frame = out.begin(FrameKind::Start);
        putU32(frame, kMagic);
        putU8(frame, std::uint8_t(mdb->f->jet_version));
        putU16(frame, std::uint16_t(file.codePage()));
        out.finish();
    }

    GPtrArray* catalog = mdb_read_catalog(mdb.get(), MDB_ANY);
    if (!catalog)
        damaged("its list of tables cannot be read");
    checkCatalog(catalog, pages, *mdb->fmt);
    // Entries stay valid while no other catalog is read; we read none.
    QSet<QString> tableNames;
    for (guint i = 0; i < catalog->len; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(catalog, i));
        if (!entry || entry->object_type != MDB_TABLE || !mdb_is_user_table(entry))
            continue;
        // The system's own tables pass for user tables only when their flags
        // in the catalog were damaged.
        if (g_ascii_strncasecmp(entry->object_name, "MSys", 4) == 0)
            damaged("its list of tables is damaged");
        if (!nameWanted(entry->object_name, tables))
            continue;
        const QString folded = QString::fromUtf8(entry->object_name).toCaseFolded();
        if (folded.isEmpty() || tableNames.contains(folded))
            damaged("its list of tables holds an empty or repeated name");
        tableNames.insert(folded);
        file.sendTable(entry);
    }
}

} // namespace Orvanta::Jet
