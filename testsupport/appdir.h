#pragma once

#include <QMap>
#include <QString>
#include <QTemporaryDir>

// A temporary application directory laid out like an installed product. The programs are
// copied, not linked, because a program's application directory is where its real file lies.
class AppDir {
public:
    AppDir();

    bool isValid() const { return dir.isValid(); }
    QString path() const { return dir.path(); }
    QString filePath(const QString &relative) const;

    // Copies a program of the build tree's application directory (e.g. "Orlune_DizovuvOdiv");
    // returns the copy's path.
    QString addProgram(const QString &name);
    // Copies "Skin" and "translation" from the build tree's application directory.
    void addAssets();
    // Writes params.ini; keys are "section/key".
    void writeParams(const QMap<QString, QString> &values);
    void writeFile(const QString &relative, const QByteArray &content);

    // The build tree's application directory.
    static QString buildAppDir();
    // A program's file name: on Windows with ".exe".
    static QString programFileName(const QString &name);

private:
    QTemporaryDir dir;
};
