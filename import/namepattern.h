#pragma once

#include <QRegularExpression>
#include <QString>

// A bone or joint name pattern in the classic wildcard language, matched
// without regard to case anywhere inside a text:
//   *      any run of characters, '/' included
//   ?      any one character
//   [...]  one character of the set ("[^...]" negates, "a-z" is a range; a
//          ']' right after the opening bracket belongs to the set)
//   else   the character itself
// A '[' without its closing ']' makes the pattern invalid; an invalid pattern
// fits nothing.
//
// The pattern is compiled once, when it is built or first needed: keep fixed
// patterns in statics and reuse them.
class CNamePattern
{
public:
    enum Mode {
        Anywhere,   // fits when the pattern matches anywhere in the text
        WholeWord   // ... and neither touches a letter, digit or underscore
    };

    explicit CNamePattern(const QString &wildcard, Mode mode = Anywhere);

    bool fits(const QString &text) const;
    bool isValid() const;
    QString wildcard() const { return source; }

    // The regular expression (unanchored) that matches what wildcard matches;
    // valid, when given, tells whether the wildcard could be translated.
    static QString toRegularExpression(const QString &wildcard, bool *valid = nullptr);

private:
    void compile() const;

    QString source;
    Mode mode;
    bool literal = false;  // plain ASCII text, matched without the expression
    mutable bool compiled = false;
    mutable QRegularExpression expression;
};
