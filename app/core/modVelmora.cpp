#include "app/core/modVelmora.h"

namespace modVelmora {

QString gConnStr;

QString connectionStringFor(const QString& installFolder)
{
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + installFolder
        + QStringLiteral("\\jst.mdb;Persist Security Info=False");
}

} // namespace modVelmora
