#include "namepattern.h"

#include <algorithm>

namespace {

// Letters, digits and the underscore, as a word boundary sees them.
const QLatin1String wordChar("[\\p{L}\\p{N}_]");

} // namespace

namespace {

bool isAscii(const QString &text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 128; });
}

} // namespace

CNamePattern::CNamePattern(const QString &wildcard, Mode mode)
    : source(wildcard)
    , mode(mode)
{
    // Joint names become patterns by the thousand: a plain ASCII name is
    // matched as text, and compiled only for a text outside ASCII, where
    // Unicode case folding needs the expression.
    literal = mode == Anywhere && isAscii(wildcard)
           && std::none_of(wildcard.cbegin(), wildcard.cend(), [](QChar c) {
                  return c == QLatin1Char('*') || c == QLatin1Char('?') || c == QLatin1Char('[');
              });
    if (!literal)
        compile();
}

void CNamePattern::compile() const
{
    bool valid = false;
    QString rx = toRegularExpression(source, &valid);
    if (!valid) {
        // An unclosed set: keep an expression that does not compile, so that
        // the pattern reports itself invalid and fits nothing.
        rx = QStringLiteral("[");
    } else if (mode == WholeWord) {
        rx = QStringLiteral("(?<!%1)(?:%2)(?!%1)").arg(wordChar, rx);
    }
    expression.setPattern(rx);
    expression.setPatternOptions(QRegularExpression::CaseInsensitiveOption
                                 | QRegularExpression::DotMatchesEverythingOption
                                 | QRegularExpression::UseUnicodePropertiesOption);
    expression.optimize();
    compiled = true;
}

bool CNamePattern::isValid() const
{
    return literal || expression.isValid();
}

bool CNamePattern::fits(const QString &text) const
{
    if (literal && isAscii(text))
        return text.contains(source, Qt::CaseInsensitive);
    if (!compiled)
        compile();
    return expression.isValid() && expression.match(text).hasMatch();
}

QString CNamePattern::toRegularExpression(const QString &wildcard, bool *valid)
{
    if (valid)
        *valid = false;
    QString rx;
    const qsizetype n = wildcard.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = wildcard.at(i++);
        if (c == QLatin1Char('*')) {
            rx += QLatin1String(".*");
        } else if (c == QLatin1Char('?')) {
            rx += QLatin1Char('.');
        } else if (c == QLatin1Char('[')) {
            QString set = QStringLiteral("[");
            if (i < n && wildcard.at(i) == QLatin1Char('^')) {
                set += QLatin1Char('^');
                ++i;
            }
            // A ']' first in the set is a member, not the end.
            if (i < n && wildcard.at(i) == QLatin1Char(']')) {
                set += QLatin1String("\\]");
                ++i;
            }
            while (i < n && wildcard.at(i) != QLatin1Char(']')) {
                const QChar m = wildcard.at(i++);
                // Inside a set only '-' (ranges) and '^' keep a meaning;
                // quote what the regular expression syntax would read.
                if (m == QLatin1Char('\\') || m == QLatin1Char('[') || m == QLatin1Char(']'))
                    set += QLatin1Char('\\');
                set += m;
            }
            if (i >= n)
                return QString();  // no closing ']'
            ++i;  // the closing ']'
            rx += set + QLatin1Char(']');
        } else {
            rx += QRegularExpression::escape(QString(c));
        }
    }
    if (valid)
        *valid = true;
    return rx;
}
