#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>

// Gives this test process, and every process it starts, a runtime directory and a config home
// of its own, so named objects, pipes and autostart entries never meet another test's.
class IsolatedRuntime {
public:
    IsolatedRuntime();
    ~IsolatedRuntime();
    IsolatedRuntime(const IsolatedRuntime &) = delete;
    IsolatedRuntime &operator=(const IsolatedRuntime &) = delete;

    QString runtimeDir() const { return runtime.path(); }
    QString configHome() const { return config.path(); }

private:
    QTemporaryDir runtime;
    QTemporaryDir config;
    QByteArray oldRuntime;
    QByteArray oldConfig;
};

// An installation identifier no other test uses.
QString uniqueInstanceId(const QString &stem = QStringLiteral("Test"));

// Polls `condition`, processing events, until it holds or `timeoutMs` passed.
bool waitUntil(const std::function<bool()> &condition, int timeoutMs);

// The lines of a text file (without line ends); empty when it cannot be read.
QStringList readLines(const QString &path);

// A TCP port on the loopback address that was free a moment ago.
quint16 freeTcpPort();

// A local user made for one test and removed after it; needs root (valid() is false without).
class ThrowawayUser {
public:
    ThrowawayUser();
    ~ThrowawayUser();
    ThrowawayUser(const ThrowawayUser &) = delete;
    ThrowawayUser &operator=(const ThrowawayUser &) = delete;

    bool valid() const { return m_uid >= 0; }
    QString name() const { return m_name; }
    int uid() const { return m_uid; }
    // Sets `process` up to run `program` with `arguments` as this user; does not start it.
    void prepare(QProcess &process, const QString &program, const QStringList &arguments) const;
    // Runs a shell command as this user; true when it succeeded.
    bool run(const QString &shellCommand) const;
    // Hands a file over to this user.
    bool own(const QString &path) const;

private:
    QString m_name;
    int m_uid = -1;
    int m_gid = -1;
};
