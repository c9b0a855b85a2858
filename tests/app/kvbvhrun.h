#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

// The host program as a user runs it on a server: its own settings file in a
// temporary folder, no display and no Qt platform chosen for it.
namespace kvapptest {

struct Run
{
    int exitCode = -1;  // -1: crashed or timed out
    QString out;
    QString err;
};

inline QProcessEnvironment serverEnvironment(const QString &home)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QLatin1String("/config"));
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    return env;
}

// Runs kvbvh with --settings settingsFile (unless empty) before arguments.
inline Run runKvbvh(const QString &settingsFile, const QStringList &arguments, const QString &workingDir,
                    const QProcessEnvironment &env)
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(workingDir);
    QStringList all;
    if (!settingsFile.isEmpty())
        all << QStringLiteral("--settings") << settingsFile;
    process.start(QStringLiteral(KV_APP_PATH), all + arguments);
    Run result;
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
        return result;
    result.exitCode = process.exitCode();
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

inline QString sample(const QString &name)
{
    return QStringLiteral(KV_SHARED_DATA_DIR "/bvh/") + name;
}

inline QStringList sampleNames()
{
    return QDir(QStringLiteral(KV_SHARED_DATA_DIR "/bvh")).entryList({QStringLiteral("*.bvh")}, QDir::Files, QDir::Name);
}

inline QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// An error as the program reports one: a single line naming the problem.
inline bool isOneErrorLine(const QString &err, const QString &pattern)
{
    return err.count(QLatin1Char('\n')) == 1 && err.endsWith(QLatin1Char('\n'))
           && QRegularExpression(QStringLiteral("^kvbvh: ") + pattern).match(err).hasMatch();
}

} // namespace kvapptest
