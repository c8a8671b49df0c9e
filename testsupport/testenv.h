#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <core/environment.h>

#include <functional>
#include <iosfwd>

// The core kit's isolated environment (core/environment.h), its directories as Qt paths.
class IsolatedRuntime {
public:
    QString runtimeDir() const { return QString::fromStdString(environment.runtimeDir()); }
    QString configHome() const { return QString::fromStdString(environment.configHome()); }

private:
    testsupport::IsolatedEnvironment environment;
};

// The Qt platform that draws nothing on screen, for the tests and the programs they start: Qt
// for Windows has no offscreen platform (it needs FreeType), its minimal one does the same with
// Windows' own fonts.
QString offscreenPlatform();

// GoogleTest prints a QString as its text, not as UTF-16 code units.
void PrintTo(const QString &text, std::ostream *out);

// An installation identifier no other test uses (core/uniquename.h).
QString uniqueInstanceId(const QString &stem = QStringLiteral("Test"));

// The core kit's waitUntil (core/waituntil.h), processing this thread's events between polls.
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
