// The program's one global: the connection string every search opens.
#pragma once

#include <QString>

namespace modVelmora {

// Empty until the start screen's load step assigns it; never cleared.
extern QString gConnStr;

// "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + folder + "\jst.mdb;Persist
// Security Info=False", the three pieces joined with nothing in between.
QString connectionStringFor(const QString& installFolder);

} // namespace modVelmora
