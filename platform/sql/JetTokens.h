// The words of a statement in the Jet dialect, as the translation to SQLite
// reads them: spaces, words, numbers, string literals (with their values),
// bracketed names and operators. Joined again, the tokens' texts give the
// statement back, with only literals and names written as SQLite reads them.
#pragma once

#include <QString>

#include <vector>

namespace Orvanta::SqlDialect {

enum class Kind { Space, Word, Number, String, Name, Op };

struct Token {
    Kind kind;
    QString text;  // what goes into the SQLite statement
    QString key;   // words: lower case; strings: the literal's value
    bool dropped = false;
};

std::vector<Token> tokenize(const QString& s);

// A literal's value as an SQLite literal (see JetTokens.cpp for characters
// SQLite cannot take inside one).
QString quoteLiteral(const QString& value);

// An arithmetic operator, `mod` included.
bool isArithmetic(const Token& t);

} // namespace Orvanta::SqlDialect
