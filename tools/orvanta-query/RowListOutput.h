// The result list as orvanta-query prints it: one line per row, its number,
// subject and path separated by tabs, in UTF-8. A tab, CR or LF inside a
// value is written as a space, so that every line has three fields.
#pragma once

#include "platform/sql/ResultTable.h"
#include "platform/index/TitleStore.h"

#include <cstdio>
#include <memory>

namespace Orvanta::QueryTool {

// Written through one buffer in large blocks: a list of every document is a
// few hundred thousand lines.
void writeRowList(std::FILE* stream, const ResultTable& rows);

// The same lines, written as the content index reads the rows: a list that
// is never held in memory as a whole.
class RowListWriter : public TitleStore::RowVisitor {
public:
    explicit RowListWriter(std::FILE* stream);
    ~RowListWriter() override;
    void row(const TitleStore::StoredRow& row) override;

private:
    class Lines;
    std::unique_ptr<Lines> m_lines;
};

} // namespace Orvanta::QueryTool
