#include "platform/sql/JetTokens.h"

#include <QStringList>

namespace Orvanta::SqlDialect {

namespace {

bool isWordChar(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= 0x80)
        return !c.isSpace();
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '_' || u == '$';
}

} // namespace

// A literal's value as SQL. SQLite ends a statement at U+0000, and its UTF-16
// reader takes a lone surrogate as half of a pair and swallows the next unit
// (a quote, say). Such characters go in as char(n) joined to the rest, so the
// value stays exactly what was written.
QString quoteLiteral(const QString& value)
{
    QStringList pieces;
    QString run;
    bool inRun = false;
    auto flush = [&] {
        if (inRun) {
            pieces << QLatin1Char('\'') + run + QLatin1Char('\'');
            run.clear();
            inRun = false;
        }
    };
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        const bool pairedHigh = c.isHighSurrogate() && i + 1 < value.size() && value[i + 1].isLowSurrogate();
        const bool pairedLow = c.isLowSurrogate() && i > 0 && value[i - 1].isHighSurrogate();
        if (c.unicode() == 0 || (c.isSurrogate() && !pairedHigh && !pairedLow)) {
            flush();
            pieces << QStringLiteral("char(%1)").arg(c.unicode());
            continue;
        }
        inRun = true;
        run += c;
        if (c == QLatin1Char('\''))
            run += c;
    }
    flush();
    if (pieces.isEmpty())
        return QStringLiteral("''");
    if (pieces.size() == 1)
        return pieces.front();
    return QLatin1Char('(') + pieces.join(QStringLiteral(" || ")) + QLatin1Char(')');
}

namespace {

QString quoteName(QStringView name)
{
    QString out = QStringLiteral("\"");
    for (QChar c : name) {
        out += c;
        if (c == QLatin1Char('"'))
            out += c;
    }
    out += QLatin1Char('"');
    return out;
}

// A literal quoted with `quote`, the quote doubled inside; `i` is at the
// opening quote and ends after the closing one (or at the end when unclosed).
QString readQuoted(const QString& s, qsizetype& i, QChar quote, bool& closed)
{
    QString value;
    ++i;
    closed = false;
    while (i < s.size()) {
        if (s[i] == quote) {
            if (i + 1 < s.size() && s[i + 1] == quote) {
                value += quote;
                i += 2;
                continue;
            }
            ++i;
            closed = true;
            break;
        }
        value += s[i++];
    }
    return value;
}

} // namespace

std::vector<Token> tokenize(const QString& s)
{
    std::vector<Token> out;
    qsizetype i = 0;
    while (i < s.size()) {
        const QChar c = s[i];
        const qsizetype start = i;
        if (c.isSpace()) {
            while (i < s.size() && s[i].isSpace())
                ++i;
            out.push_back({Kind::Space, s.mid(start, i - start), {}});
        } else if (c == QLatin1Char('\'')) {
            bool closed;
            QString value = readQuoted(s, i, c, closed);
            // An unclosed literal stays as written, for SQLite to reject.
            out.push_back({Kind::String, closed ? quoteLiteral(value) : s.mid(start), value});
        } else if (c == QLatin1Char('"')) {
            bool closed;
            QString value = readQuoted(s, i, c, closed);
            out.push_back({Kind::String, closed ? quoteLiteral(value) : s.mid(start), value});
        } else if (c == QLatin1Char('[')) {
            const qsizetype close = s.indexOf(QLatin1Char(']'), i + 1);
            if (close < 0) {
                i = s.size();
                out.push_back({Kind::Op, s.mid(start), {}});
            } else {
                i = close + 1;
                out.push_back({Kind::Name, quoteName(QStringView(s).mid(start + 1, close - start - 1)), {}});
            }
        } else if (c.isDigit() && c.unicode() < 0x80) {
            while (i < s.size() && (isWordChar(s[i]) || s[i] == QLatin1Char('.')))
                ++i;
            out.push_back({Kind::Number, s.mid(start, i - start), {}});
        } else if (isWordChar(c)) {
            while (i < s.size() && isWordChar(s[i]))
                ++i;
            QString word = s.mid(start, i - start);
            out.push_back({Kind::Word, word, word.toLower()});
        } else {
            ++i;
            QString op(c);
            const QChar next = i < s.size() ? s[i] : QChar();
            if ((c == QLatin1Char('<') && (next == QLatin1Char('=') || next == QLatin1Char('>')))
                || (c == QLatin1Char('>') && next == QLatin1Char('='))
                || (c == QLatin1Char('!') && next == QLatin1Char('='))) {
                op += next;
                ++i;
            }
            Token t{Kind::Op, op, op};
            if (c == QLatin1Char('&'))
                t.text = QStringLiteral("||");
            // Jet has no comments: keep "--" and "/*" from starting one.
            else if ((c == QLatin1Char('-') && next == QLatin1Char('-'))
                     || (c == QLatin1Char('/') && next == QLatin1Char('*')))
                t.text += QLatin1Char(' ');
            out.push_back(std::move(t));
        }
    }
    return out;
}

bool isArithmetic(const Token& t)
{
    if (t.kind == Kind::Word)
        return t.key == QLatin1String("mod");
    if (t.kind != Kind::Op)
        return false;
    return t.key == QLatin1String("+") || t.key == QLatin1String("-") || t.key == QLatin1String("*")
        || t.key == QLatin1String("/") || t.key == QLatin1String("\\") || t.key == QLatin1String("^");
}

} // namespace Orvanta::SqlDialect
