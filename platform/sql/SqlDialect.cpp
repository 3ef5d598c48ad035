// The translation from the Jet dialect to SQLite is one class, Translator,
// of about 450 lines: its steps (constant folding, function names, the
// statement's shape, the rebalanced conditions) each rewrite the same token
// list in place and read each other's marks on it, so they stay together
// rather than pass that list between files. The tokens are in JetTokens.h.
#include "platform/sql/SqlDialect.h"

#include "platform/sql/JetTokens.h"

#include <QHash>
#include <QSet>

#include <vector>

namespace Orvanta::SqlDialect {

namespace {

class Translator {
public:
    Translator(const QString& sql, const Options& options) : m_options(options), m_tokens(tokenize(sql))
    {
        for (size_t i = 0; i < m_tokens.size(); ++i) {
            if (m_tokens[i].kind != Kind::Space)
                m_nz.push_back(i);
        }
    }

    QString run()
    {
        foldConstants();
        renameFunctions();
        refreshNonSpace();
        shapeStatement();
        return assemble();
    }

private:
    const Token& nz(size_t j) const { return m_tokens[m_nz[j]]; }
    bool isOp(size_t j, const char* op) const
    {
        return j < m_nz.size() && nz(j).kind == Kind::Op && nz(j).key == QLatin1String(op);
    }
    bool isWord(size_t j, const char* word) const
    {
        return j < m_nz.size() && nz(j).kind == Kind::Word && nz(j).key == QLatin1String(word);
    }

    // chr(n) with a plain ASCII code, at non-space index j: the character, or null.
    QChar chrAt(size_t j) const
    {
        if (!isWord(j, "chr") || !isOp(j + 1, "(") || j + 3 >= m_nz.size() || nz(j + 2).kind != Kind::Number
            || !isOp(j + 3, ")"))
            return {};
        bool ok = false;
        const int code = nz(j + 2).text.toInt(&ok);
        return ok && code > 0 && code < 128 ? QChar(code) : QChar();
    }

    // One operand of a constant chain at j: its value and the index after it.
    bool constantAt(size_t j, QString& value, size_t& next) const
    {
        if (j >= m_nz.size())
            return false;
        if (nz(j).kind == Kind::String && nz(j).text.startsWith(QLatin1Char('\''))
            && nz(j).text.size() >= 2 && nz(j).text.endsWith(QLatin1Char('\''))) {
            value = nz(j).key;
            next = j + 1;
            return true;
        }
        const QChar c = chrAt(j);
        if (c.isNull())
            return false;
        value = QString(c);
        next = j + 4;
        return true;
    }

    // 'a' & chr(39) & 'b' -> 'a''b', unless an arithmetic operator next to the
    // chain would bind one of its ends first.
    void foldConstants()
    {
        for (size_t j = 0; j < m_nz.size();) {
            QString value;
            size_t next;
            if (!constantAt(j, value, next)) {
                ++j;
                continue;
            }
            size_t end = next;
            int operands = 1;
            QString folded = value;
            while (isOp(end, "&") && constantAt(end + 1, value, next)) {
                folded += value;
                end = next;
                ++operands;
            }
            const bool boundBefore = j > 0 && isArithmetic(nz(j - 1));
            const bool boundAfter = end < m_nz.size() && isArithmetic(nz(end));
            if (operands > 1 && !boundBefore && !boundAfter) {
                Token& first = m_tokens[m_nz[j]];
                first.kind = Kind::String;
                first.text = quoteLiteral(folded);
                first.key = folded;
                const size_t lastToken = m_nz[end - 1];
                for (size_t t = m_nz[j] + 1; t <= lastToken; ++t)
                    m_tokens[t].dropped = true;
            }
            j = end;
        }
    }

    void renameFunctions()
    {
        for (size_t j = 0; j + 1 < m_nz.size(); ++j) {
            Token& t = m_tokens[m_nz[j]];
            if (!t.dropped && t.kind == Kind::Word && t.key == QLatin1String("chr") && isOp(j + 1, "("))
                t.text = QStringLiteral("char");
        }
    }

    void refreshNonSpace()
    {
        m_nz.clear();
        for (size_t i = 0; i < m_tokens.size(); ++i) {
            if (m_tokens[i].kind != Kind::Space && !m_tokens[i].dropped)
                m_nz.push_back(i);
        }
    }

    static bool endsClause(const Token& t)
    {
        if (t.kind == Kind::Op)
            return t.key == QLatin1String(";");
        if (t.kind != Kind::Word)
            return false;
        return t.key == QLatin1String("order") || t.key == QLatin1String("group")
            || t.key == QLatin1String("having") || t.key == QLatin1String("union")
            || t.key == QLatin1String("limit");
    }

    // FROM, WHERE and ORDER BY of the outermost statement.
    void shapeStatement()
    {
        int depth = 0;
        size_t fromAt = npos, whereAt = npos, orderAt = npos;
        bool grouped = false, distinct = false, compound = false, cut = false;
        for (size_t j = 0; j < m_nz.size() && !cut; ++j) {
            const Token& t = nz(j);
            if (t.kind == Kind::Op) {
                if (t.key == QLatin1String("("))
                    ++depth;
                else if (t.key == QLatin1String(")"))
                    --depth;
                else if (t.key == QLatin1String(";") && depth == 0)
                    cut = true;
                continue;
            }
            if (depth != 0 || t.kind != Kind::Word)
                continue;
            if (t.key == QLatin1String("from") && fromAt == npos)
                fromAt = j;
            else if (t.key == QLatin1String("where") && whereAt == npos)
                whereAt = j;
            else if (t.key == QLatin1String("order") && isWord(j + 1, "by") && orderAt == npos)
                orderAt = j;
            else if (t.key == QLatin1String("group"))
                grouped = true;
            else if (t.key == QLatin1String("distinct") || t.key == QLatin1String("distinctrow"))
                distinct = true;
            else if (t.key == QLatin1String("union"))
                compound = true;
        }
        if (compound)
            return;

        // A single table: name, optional alias, then a clause keyword or the end.
        bool singleTable = false;
        if (fromAt != npos && fromAt + 1 < m_nz.size()
            && (nz(fromAt + 1).kind == Kind::Word || nz(fromAt + 1).kind == Kind::Name)) {
            size_t j = fromAt + 2;
            if (isWord(j, "as"))
                ++j;
            if (j < m_nz.size() && (nz(j).kind == Kind::Word || nz(j).kind == Kind::Name)
                && !isClauseWord(nz(j)))
                ++j;
            if (j == m_nz.size() || isClauseWord(nz(j)) || isOp(j, ";")) {
                singleTable = true;
                // A statement that orders every row (no condition) may read an
                // index: its order is fixed by the ORDER BY and the rowid added
                // below, and a collection's date index spares the sort.
                const bool orderedWithoutCondition = orderAt != npos && whereAt == npos && !grouped && !distinct;
                if (m_options.tableScan && !(orderedWithoutCondition && m_options.rowidTies))
                    m_tokens[m_nz[j - 1]].text += QStringLiteral(" NOT INDEXED");
            }
        }

        if (orderAt != npos && singleTable && !grouped && !distinct && m_options.rowidTies) {
            size_t j = orderAt + 2;
            int d = 0;
            bool mentionsRowid = false;
            for (; j < m_nz.size(); ++j) {
                if (isOp(j, "("))
                    ++d;
                else if (isOp(j, ")"))
                    --d;
                if (d == 0 && endsClause(nz(j)))
                    break;
                if (nz(j).kind == Kind::Word
                    && (nz(j).key == QLatin1String("rowid") || nz(j).key == QLatin1String("_rowid_")))
                    mentionsRowid = true;
            }
            if (!mentionsRowid && j > orderAt + 2)
                m_tokens[m_nz[j - 1]].text += QStringLiteral(", rowid");
        }

        if (whereAt != npos) {
            size_t end = whereAt + 1;
            int d = 0;
            int junctions = 0;
            for (; end < m_nz.size(); ++end) {
                if (isOp(end, "("))
                    ++d;
                else if (isOp(end, ")"))
                    --d;
                if (d == 0 && endsClause(nz(end)))
                    break;
                if (isWord(end, "and") || isWord(end, "or"))
                    ++junctions;
            }
            if (junctions > m_options.balanceAbove && end > whereAt + 1) {
                m_whereBegin = m_nz[whereAt + 1];
                m_whereEnd = m_nz[end - 1];
                m_where.reserve(64 + (rangeLength(whereAt + 1, end) * 5) / 4);
                emitCondition(whereAt + 1, end);
            }
        }
    }

    bool isClauseWord(const Token& t) const
    {
        return endsClause(t) || (t.kind == Kind::Word && t.key == QLatin1String("where"));
    }

    qsizetype rangeLength(size_t a, size_t b) const
    {
        qsizetype n = 0;
        for (size_t i = m_nz[a]; i <= m_nz[b - 1]; ++i)
            n += m_tokens[i].dropped ? 0 : m_tokens[i].text.size();
        return n;
    }

    // Splits [a, b) at the top-level `word`; AND inside BETWEEN ... AND and
    // inside CASE ... END does not split.
    std::vector<std::pair<size_t, size_t>> split(size_t a, size_t b, const char* word) const
    {
        std::vector<std::pair<size_t, size_t>> parts;
        int depth = 0, cases = 0, betweens = 0;
        size_t start = a;
        for (size_t j = a; j < b; ++j) {
            if (isOp(j, "("))
                ++depth;
            else if (isOp(j, ")"))
                --depth;
            else if (isWord(j, "case"))
                ++cases;
            else if (isWord(j, "end") && cases > 0)
                --cases;
            if (depth != 0 || cases != 0)
                continue;
            if (isWord(j, "between"))
                ++betweens;
            else if (isWord(j, word)) {
                if (betweens > 0 && QLatin1String(word) == QLatin1String("and")) {
                    --betweens;
                    continue;
                }
                parts.emplace_back(start, j);
                start = j + 1;
            }
        }
        parts.emplace_back(start, b);
        return parts;
    }

    // "c like 'p'" repeated in one AND or OR chain adds nothing (x AND x is x,
    // also for NULL): a query that repeats a word runs its condition once.
    std::vector<std::pair<size_t, size_t>> withoutRepeats(const std::vector<std::pair<size_t, size_t>>& parts) const
    {
        std::vector<std::pair<size_t, size_t>> out;
        out.reserve(parts.size());
        QSet<QString> seen;
        for (const auto& p : parts) {
            const size_t a = p.first;
            const bool plainLike = p.second == a + 3 && (nz(a).kind == Kind::Word || nz(a).kind == Kind::Name)
                && isWord(a + 1, "like") && nz(a + 2).kind == Kind::String;
            if (plainLike) {
                const QString key = nz(a).text.toLower() + QChar(0) + nz(a + 2).text;
                if (seen.contains(key))
                    continue;
                seen.insert(key);
            }
            out.push_back(p);
        }
        return out;
    }

    bool isPlainLike(const std::pair<size_t, size_t>& p) const
    {
        const size_t a = p.first;
        return p.second == a + 3 && (nz(a).kind == Kind::Word || nz(a).kind == Kind::Name) && isWord(a + 1, "like")
            && nz(a + 2).kind == Kind::String && nz(a + 2).text.startsWith(QLatin1Char('\''));
    }

    // Many "c like 'p'" of one chain on the same column become one call that
    // tests all the patterns in one pass over the value, with the same result
    // as the chain: orvanta_like_any for OR, orvanta_like_all for AND. The
    // patterns travel packed in one literal ("|" between them; "|" and "\"
    // inside a pattern escaped with "\"). Parts that are groups come back as
    // (npos, index into m_groups).
    std::vector<std::pair<size_t, size_t>> grouped(const std::vector<std::pair<size_t, size_t>>& parts, bool all)
    {
        if (int(parts.size()) <= m_options.groupAbove)
            return parts;
        QHash<QString, std::vector<size_t>> byColumn;
        for (size_t i = 0; i < parts.size(); ++i) {
            if (isPlainLike(parts[i]))
                byColumn[nz(parts[i].first).text.toLower()].push_back(i);
        }
        std::vector<int> groupOf(parts.size(), -1);
        std::vector<bool> first(parts.size(), false);
        for (auto it = byColumn.cbegin(); it != byColumn.cend(); ++it) {
            const std::vector<size_t>& members = it.value();
            if (int(members.size()) <= m_options.groupAbove)
                continue;
            QString packed;
            for (size_t k = 0; k < members.size(); ++k) {
                if (k > 0)
                    packed += QLatin1Char('|');
                for (QChar c : nz(parts[members[k]].first + 2).key) {
                    if (c == QLatin1Char('|') || c == QLatin1Char('\\'))
                        packed += QLatin1Char('\\');
                    packed += c;
                }
            }
            const int group = int(m_groups.size());
            m_groups.push_back((all ? QStringLiteral("orvanta_like_all(") : QStringLiteral("orvanta_like_any("))
                               + nz(parts[members[0]].first).text + QStringLiteral(", ") + quoteLiteral(packed)
                               + QLatin1Char(')'));
            for (size_t m : members)
                groupOf[m] = group;
            first[members[0]] = true;
        }
        std::vector<std::pair<size_t, size_t>> out;
        for (size_t i = 0; i < parts.size(); ++i) {
            if (groupOf[i] < 0)
                out.push_back(parts[i]);
            else if (first[i])
                out.emplace_back(npos, size_t(groupOf[i]));
        }
        return out;
    }

    void emitRange(size_t a, size_t b)
    {
        if (a >= b)
            return;
        for (size_t i = m_nz[a]; i <= m_nz[b - 1]; ++i) {
            if (!m_tokens[i].dropped)
                m_where += m_tokens[i].text;
        }
    }

    void emitCondition(size_t a, size_t b)
    {
        const auto terms = split(a, b, "or");
        if (terms.size() == 1) {
            emitAnd(a, b);
            return;
        }
        const auto parts = grouped(withoutRepeats(terms), false);
        emitTree(parts, 0, parts.size(), QStringLiteral(" OR "), [this](size_t x, size_t y) {
            if (x == npos)
                m_where += m_groups[y];
            else
                emitAnd(x, y);
        });
    }

    void emitAnd(size_t a, size_t b)
    {
        const auto factors = split(a, b, "and");
        if (factors.size() == 1) {
            emitFactor(a, b);
            return;
        }
        const auto parts = grouped(withoutRepeats(factors), true);
        emitTree(parts, 0, parts.size(), QStringLiteral(" AND "), [this](size_t x, size_t y) {
            if (x == npos)
                m_where += m_groups[y];
            else
                emitFactor(x, y);
        });
    }

    // A factor that is one parenthesised group is balanced inside as well.
    void emitFactor(size_t a, size_t b)
    {
        if (b > a + 1 && isOp(a, "(") && isOp(b - 1, ")")) {
            int depth = 0;
            size_t close = a;
            for (size_t j = a; j < b; ++j) {
                if (isOp(j, "("))
                    ++depth;
                else if (isOp(j, ")") && --depth == 0) {
                    close = j;
                    break;
                }
            }
            if (close == b - 1) {
                m_where += QLatin1Char('(');
                emitCondition(a + 1, b - 1);
                m_where += QLatin1Char(')');
                return;
            }
        }
        emitRange(a, b);
    }

    template <typename Emit>
    void emitTree(const std::vector<std::pair<size_t, size_t>>& parts, size_t from, size_t to, const QString& op,
                  Emit emit)
    {
        if (to - from == 1) {
            emit(parts[from].first, parts[from].second);
            return;
        }
        const size_t mid = from + (to - from) / 2;
        m_where += QLatin1Char('(');
        emitTree(parts, from, mid, op, emit);
        m_where += op;
        emitTree(parts, mid, to, op, emit);
        m_where += QLatin1Char(')');
    }

    QString assemble() const
    {
        QString out;
        qsizetype size = m_where.size();
        for (const Token& t : m_tokens)
            size += t.text.size();
        out.reserve(size);
        for (size_t i = 0; i < m_tokens.size(); ++i) {
            if (i == m_whereBegin) {
                out += m_where;
                i = m_whereEnd;
                continue;
            }
            if (!m_tokens[i].dropped)
                out += m_tokens[i].text;
        }
        return out;
    }

    static constexpr size_t npos = size_t(-1);
    Options m_options;
    std::vector<Token> m_tokens;
    std::vector<size_t> m_nz; // indices of the tokens that are not white space
    size_t m_whereBegin = npos;
    size_t m_whereEnd = npos;
    QString m_where;
    std::vector<QString> m_groups;
};

} // namespace

QString toSqlite(const QString& jetSql, const Options& options)
{
    return Translator(jetSql, options).run();
}

} // namespace Orvanta::SqlDialect
