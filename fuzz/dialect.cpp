// The translation must survive any text: unbalanced quotes and brackets,
// stray "&", "chr(" without end, comments, very long chains.
#include "platform/db/SqlDialect.h"

#include <QString>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString sql = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    (void)Orvanta::SqlDialect::toSqlite(sql);
    return 0;
}
