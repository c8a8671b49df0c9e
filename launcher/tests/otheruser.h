#pragma once

#include <QString>
#include <QStringList>

// A throw-away local user for the cases where another user of the machine acts: created for
// the test (only root can), deleted with it.
class OtherUser {
public:
    OtherUser();
    ~OtherUser();
    OtherUser(const OtherUser &) = delete;
    OtherUser &operator=(const OtherUser &) = delete;

    // False when the user could not be created; whyNot() says why.
    bool isValid() const { return m_created; }
    QString whyNot() const { return m_whyNot; }
    const QString &name() const { return m_name; }

    // Runs a shell command as that user; true when it succeeded.
    bool run(const QString &shellCommand) const;
    // Hands a file over to that user.
    bool own(const QString &path) const;

private:
    QString m_name;
    bool m_created = false;
    QString m_whyNot;
};
