#include "bodyparts.h"

#include <QHash>

namespace bodyparts {

const std::vector<CNamePattern> &rows()
{
    static const std::vector<CNamePattern> compiled = [] {
        struct Row
        {
            const char *wildcard;
            bool wholeWord;
        };
        static const Row table[] = {
            {"[hH]ip", true},
            {"[lL]*[bB]uttock", false}, {"[rR]*[bB]uttock", false},
            {"[lL]*[tT]high", false}, {"[rR]*[tT]high", false},
            {"[lL]*[sS]hin", false}, {"[rR]*[sS]hin", false},
            {"[lL]*[fF]oot", false}, {"[rR]*[fF]oot", false},
            {"[lL]*[tT]oe", false}, {"[rR]*[tT]oe", false},
            {"[aA]bdomen", true},
            {"[cC]hest", true},
            {"[lL]*[cC]ollar", false}, {"[rR]*[cC]ollar", false},
            {"[lL]*[sS]h*ld*r", false}, {"[rR]*[sS]h*ld*r", false},
            {"[lL]*[fF]ore[aA]rm", false}, {"[rR]*[fF]ore[aA]rm", false},
            {"[lL]*[hH]and", false}, {"[rR]*[hH]and", false},
            {"[lL]*[pP]inky*1", false}, {"[rR]*[pP]inky*1", false},
            {"[lL]*[pP]inky*2", false}, {"[rR]*[pP]inky*2", false},
            {"[lL]*[pP]inky*3", false}, {"[rR]*[pP]inky*3", false},
            {"[lL]*[rR]ing*1", false}, {"[rR]*[rR]ing*1", false},
            {"[lL]*[rR]ing*2", false}, {"[rR]*[rR]ing*2", false},
            {"[lL]*[rR]ing*3", false}, {"[rR]*[rR]ing*3", false},
            {"[lL]*[mM]id*1", false}, {"[rR]*[mM]id*1", false},
            {"[lL]*[mM]id*2", false}, {"[rR]*[mM]id*2", false},
            {"[lL]*[mM]id*3", false}, {"[rR]*[mM]id*3", false},
            {"[lL]*[iI]ndex*1", false}, {"[rR]*[iI]ndex*1", false},
            {"[lL]*[iI]ndex*2", false}, {"[rR]*[iI]ndex*2", false},
            {"[lL]*[iI]ndex*3", false}, {"[rR]*[iI]ndex*3", false},
            {"[lL]*[tT]humb*1", false}, {"[rR]*[tT]humb*1", false},
            {"[lL]*[tT]humb*2", false}, {"[rR]*[tT]humb*2", false},
            {"[lL]*[tT]humb*3", false}, {"[rR]*[tT]humb*3", false},
            {"[nN]eck", true},
            {"[nN]eck*1", false},
            {"[hH]ead", true},
            {"[lL]*[eE]ye", false}, {"[rR]*[eE]ye", false},
            {"[tT]ail", true},
            {"[tT]ail*1", false},
            {"[hH]orn", true},
            {"[lL]*[hH]orn", false}, {"[rR]*[hH]orn", false},
        };
        std::vector<CNamePattern> patterns;
        patterns.reserve(std::size(table));
        for (const Row &row : table) {
            patterns.emplace_back(QString::fromLatin1(row.wildcard),
                                  row.wholeWord ? CNamePattern::WholeWord : CNamePattern::Anywhere);
        }
        return patterns;
    }();
    return compiled;
}

const std::vector<JointEndRow> &jointEndRows()
{
    static const std::vector<JointEndRow> compiled = [] {
        static const struct
        {
            const char *key;
            int part;
        } table[] = {
            {"[lL]*[kK]nee", LeftShin},   {"[rR]*[kK]nee", RightShin},
            {"[lL]*[aA]nkle", LeftFoot},  {"[rR]*[aA]nkle", RightFoot},
            {"[lL]*[wW]rist", 19},        {"[rR]*[wW]rist", 20},
            {"[lL]*[eE]lbow", 17},        {"[rR]*[eE]lbow", 18},
        };
        std::vector<JointEndRow> rows;
        rows.reserve(std::size(table));
        for (const auto &row : table)
            rows.push_back({CNamePattern(QString::fromLatin1(row.key)), row.part});
        return rows;
    }();
    return compiled;
}

namespace {

// Digits with at most one decimal point: the copy number in hip:1.
bool isCopyNumber(const QString &text)
{
    bool hasDigit = false;
    bool hasPoint = false;
    for (const QChar c : text) {
        if (c.isDigit() && c.unicode() < 128) {
            hasDigit = true;
        } else if (c == QLatin1Char('.') && !hasPoint) {
            hasPoint = true;
        } else {
            return false;
        }
    }
    return hasDigit;
}

// Lower case, without separators: upperarm_l, UpperArm_L and upperarm.l agree.
QString normalized(const QString &key)
{
    QString text;
    text.reserve(key.size());
    for (const QChar c : key) {
        if (c.isLetterOrNumber())
            text += c.toLower();
    }
    return text;
}

} // namespace

QString matchKey(const QString &name)
{
    const qsizetype colon = name.lastIndexOf(QLatin1Char(':'));
    if (colon < 0)
        return name;
    const QString after = name.mid(colon + 1).trimmed();
    if (after.isEmpty() || isCopyNumber(after))
        return name.left(colon).trimmed();
    return after;
}

int knownNamingPart(const QString &name)
{
    // Only names that the body-part table does not read right. A side's names
    // are listed once, with '%' for l or r and '@' for left or right.
    static const QHash<QString, int> parts = [] {
        static const struct
        {
            const char *names;
            int leftPart;  // the right side's row follows the left one's
        } sided[] = {
            {"clavicle%|%clavicle|mcollar@", LeftCollar},
            {"@arm|upperarm%|@uparm|%humerus|mshoulder@|%upperarm|@upperarm", LeftShoulder},
            {"lowerarm%|@lowarm|%radius|melbow@|%lowerarm|@lowerarm", 17},
            {"hand%|%wrist|mwrist@", 19},
            {"@upleg|thigh%|%femur|@hip|mhip@|%upleg|@upperleg", LeftThigh},
            {"@leg|calf%|@lowleg|%tibia|mknee@|%lowleg|@lowerleg|@shin", LeftShin},
            {"foot%|mankle@", LeftFoot},
            {"ball%|mfoot@|toe%", 9},
        };
        static const struct
        {
            const char *names;
            int part;
        } unsided[] = {
            {"hips|pelvis|mpelvis", Hip},
            {"spine|spine01|lowerback|mtorso|torso", 11},
            {"spine03|upperback|thorax|mchest|spine2", 12},
            {"neck01|lowerneck|mneck", 51},
            {"mhead|head01", Head},
        };
        QHash<QString, int> table;
        for (const auto &row : sided) {
            for (const QString &pattern : QString::fromLatin1(row.names).split(QLatin1Char('|'))) {
                for (int side = 0; side < 2; ++side) {
                    QString name = pattern;
                    name.replace(QLatin1Char('%'), side ? QStringLiteral("r") : QStringLiteral("l"));
                    name.replace(QLatin1Char('@'), side ? QStringLiteral("right") : QStringLiteral("left"));
                    table.insert(name, row.leftPart + side);
                }
            }
        }
        for (const auto &row : unsided) {
            for (const QString &name : QString::fromLatin1(row.names).split(QLatin1Char('|')))
                table.insert(name, row.part);
        }
        return table;
    }();
    return parts.value(normalized(matchKey(name)), NoPart);
}

bool isSided(int part)
{
    if (part < 0 || size_t(part) >= rows().size())
        return false;
    const QString pattern = rows()[size_t(part)].wildcard();
    return pattern.startsWith(QLatin1String("[lL]")) || pattern.startsWith(QLatin1String("[rR]"));
}

void settleParts(const std::vector<int> &levels, std::vector<int> &parts)
{
    for (size_t i = 0; i < parts.size(); ++i) {
        const int part = parts[i];
        if (!isSided(part))
            continue;
        for (size_t below = i + 1; below < parts.size() && levels[below] > levels[i]; ++below) {
            if (parts[below] != part)
                continue;
            if (part == LeftShoulder || part == RightShoulder) {
                parts[i] = part + LeftCollar - LeftShoulder;
                break;
            }
            parts[below] = NoPart;
        }
    }
}

namespace {

int partOfUncached(const QString &name)
{
    const QString key = matchKey(name);
    int part = NoPart;
    const std::vector<CNamePattern> &table = rows();
    for (size_t row = 0; row < table.size(); ++row) {
        if (table[row].fits(key))
            part = int(row);
    }
    for (const JointEndRow &row : jointEndRows()) {
        if (row.key.fits(key))
            part = row.part;
    }
    const int known = knownNamingPart(key);
    return known != NoPart ? known : part;
}

} // namespace

int partOf(const QString &name)
{
    // Asked again and again for the same names (matching, completion, rest
    // pose, stand-up) and thirty patterns a time: remembered. One thread.
    static QHash<QString, int> known;
    const auto it = known.constFind(name);
    if (it != known.cend())
        return *it;
    if (known.size() > 100000)
        known.clear();
    const int part = partOfUncached(name);
    known.insert(name, part);
    return part;
}

} // namespace bodyparts
