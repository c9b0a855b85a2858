#include "optionparser.h"

void OptionParser::addFlag(const QString &longName, QChar shortName, bool *target, const QString &help)
{
    options.append({longName, shortName, QString(), target, nullptr, help});
}

void OptionParser::addValue(const QString &longName, QChar shortName, const QString &valueName, QString *target,
                            const QString &help)
{
    options.append({longName, shortName, valueName, nullptr, target, help});
}

const OptionParser::Option *OptionParser::findLong(const QString &name) const
{
    for (const Option &option : options) {
        if (option.longName == name)
            return &option;
    }
    return nullptr;
}

const OptionParser::Option *OptionParser::findShort(QChar name) const
{
    for (const Option &option : options) {
        if (!option.shortName.isNull() && option.shortName == name)
            return &option;
    }
    return nullptr;
}

bool OptionParser::parse(const QStringList &arguments)
{
    const auto fail = [this](const QString &text) {
        errorText = text;
        return false;
    };
    bool onlyArguments = false;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (onlyArguments || argument == QLatin1String("-") || !argument.startsWith(QLatin1Char('-'))) {
            positional.append(argument);
            continue;
        }
        if (argument == QLatin1String("--")) {
            onlyArguments = true;
            continue;
        }
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            helpRequested = true;
            continue;
        }

        const Option *option = nullptr;
        QString value;
        bool hasValue = false;
        QString shown;  // the option as the user wrote it
        if (argument.startsWith(QLatin1String("--"))) {
            const int equals = argument.indexOf(QLatin1Char('='));
            const QString name = argument.mid(2, equals < 0 ? -1 : equals - 2);
            shown = QLatin1String("--") + name;
            option = findLong(name);
            if (equals >= 0) {
                value = argument.mid(equals + 1);
                hasValue = true;
            }
        } else {
            shown = argument.left(2);
            option = findShort(argument.at(1));
            if (argument.size() > 2) {
                value = argument.mid(2);
                hasValue = true;
            }
        }
        if (!option)
            return fail(QStringLiteral("unknown option %1").arg(shown));
        if (option->flag) {
            if (hasValue)
                return fail(QStringLiteral("option %1 takes no value").arg(shown));
            *option->flag = true;
            continue;
        }
        if (!hasValue) {
            if (i + 1 >= arguments.size())
                return fail(QStringLiteral("option %1 needs a value").arg(shown));
            value = arguments.at(++i);
        }
        if (value.isEmpty())
            return fail(QStringLiteral("option %1 needs a value").arg(shown));
        *option->value = value;
    }
    return true;
}

QString OptionParser::helpText(const QString &synopsis, const QString &description) const
{
    QString text = QLatin1String("Usage: kvbvh ") + synopsis + QLatin1String("\n\n") + description;
    if (!text.endsWith(QLatin1Char('\n')))
        text += QLatin1Char('\n');
    text += QLatin1String("\nOptions:\n");
    QList<QPair<QString, QString>> rows;
    qsizetype width = 0;
    for (const Option &option : options) {
        QString names = option.shortName.isNull() ? QStringLiteral("    ")
                                                  : QLatin1Char('-') + option.shortName + QLatin1String(", ");
        names += QLatin1String("--") + option.longName;
        if (!option.valueName.isEmpty())
            names += QLatin1Char(' ') + option.valueName;
        width = qMax(width, names.size());
        rows.append({names, option.help});
    }
    rows.append({QStringLiteral("-h, --help"), QStringLiteral("show this help")});
    for (const auto &row : rows)
        text += QLatin1String("  ") + row.first.leftJustified(width) + QLatin1String("  ") + row.second + QLatin1Char('\n');
    return text;
}
