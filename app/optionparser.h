#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The options of one command, GNU style: "--name value", "--name=value",
// "-n value", "-nvalue", flags "--name" / "-n", and "--" before arguments
// that start with "-". Options and arguments may come in any order.
// "--help" and "-h" are always known.
class OptionParser
{
public:
    // Targets must outlive the parser; they are written while parsing.
    void addFlag(const QString &longName, QChar shortName, bool *target, const QString &help);
    void addValue(const QString &longName, QChar shortName, const QString &valueName, QString *target,
                  const QString &help);

    // False with error() set on bad usage.
    bool parse(const QStringList &arguments);
    QStringList arguments() const { return positional; }
    bool isHelpRequested() const { return helpRequested; }
    QString error() const { return errorText; }

    // "Usage: kvbvh <synopsis>", the description, then one line per option.
    QString helpText(const QString &synopsis, const QString &description) const;

private:
    struct Option
    {
        QString longName;
        QChar shortName;
        QString valueName;  // empty: a flag
        bool *flag = nullptr;
        QString *value = nullptr;
        QString help;
    };
    const Option *findLong(const QString &name) const;
    const Option *findShort(QChar name) const;

    QList<Option> options;
    QStringList positional;
    bool helpRequested = false;
    QString errorText;
};
