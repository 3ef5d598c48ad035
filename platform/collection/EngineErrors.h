// What SQLite reports, as the errors the program shows: the numbers and texts
// that a user of the original engine would meet for the same cause (a missing
// table, a damaged or locked file, a full disk).
#pragma once

#include "platform/Error.h"

#include <QString>

struct sqlite3;

namespace Orvanta::EngineErrors {

// SQLite's last message on `db`.
QString lastMessage(sqlite3* db);

// The error for result code `rc` (extended codes included) with SQLite's
// `message`, naming the file as `displayPath`.
Error errorFor(int rc, const QString& message, const QString& displayPath);

} // namespace Orvanta::EngineErrors
