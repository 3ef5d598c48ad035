// The result list as orvanta-query prints it: one line per row, its number,
// subject and path separated by tabs, in UTF-8. A tab, CR or LF inside a
// value is written as a space, so that every line has three fields.
#pragma once

#include "platform/db/ResultTable.h"

#include <cstdio>

namespace Orvanta::QueryTool {

// Written through one buffer in large blocks: a list of every document is a
// few hundred thousand lines.
void writeRowList(std::FILE* stream, const ResultTable& rows);

} // namespace Orvanta::QueryTool
