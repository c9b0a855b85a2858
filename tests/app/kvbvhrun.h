#pragma once

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
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

// Runs kvbvh in home with --settings settingsFile (unless empty), in env or a server's.
inline Run runKvbvh(const QString &settingsFile, const QStringList &arguments, const QString &home,
                    const QProcessEnvironment &env = QProcessEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(env.isEmpty() ? serverEnvironment(home) : env);
    process.setWorkingDirectory(home);
    process.start(QStringLiteral(KV_APP_PATH),
                  settingsFile.isEmpty() ? arguments : QStringList{QStringLiteral("--settings"), settingsFile} + arguments);
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
        return Run();
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

inline QString sample(const QString &name)
{
    return QStringLiteral(KV_SHARED_DATA_DIR "/bvh/") + name;
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
