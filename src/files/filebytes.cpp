#include "files/filebytes.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

bool FileBytes::read(const QString &path, qint64 maxBytes, QByteArray *bytes, QString *why)
{
    if (!QFileInfo(path).isFile()) {
        *why = QStringLiteral("not a regular file");
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *why = file.errorString();
        return false;
    }
    if (file.isSequential()) {
        *why = QStringLiteral("not a regular file");
        return false;
    }
    if (file.size() > maxBytes) {
        *why = QStringLiteral("file too large");
        return false;
    }
    *bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        *why = file.errorString();
        return false;
    }
    return true;
}

FileBytes::WriteFailure FileBytes::create(const QString &path, const QByteArray &bytes, QString *why)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered)) {
        *why = file.errorString();
        const QFileInfo there(path);
        return there.exists() || there.isSymLink() ? WriteFailure::Exists : WriteFailure::Open;
    }
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        *why = file.errorString();
        file.remove();
        return WriteFailure::Write;
    }
    file.close();
    if (file.error() != QFileDevice::NoError) {
        *why = file.errorString();
        file.remove();
        return WriteFailure::Commit;
    }
    return WriteFailure::None;
}

FileBytes::WriteFailure FileBytes::write(const QString &path, const QByteArray &bytes, QString *why)
{
    QSaveFile file(path);
    // Unbuffered, so that write() reports what really reached the disk: with
    // a buffer a short write on a full disk goes unnoticed and the commit
    // puts the truncated text over the good file.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        *why = file.errorString();
        return WriteFailure::Open;
    }
    if (file.write(bytes) != bytes.size()) {
        *why = file.errorString();
        file.cancelWriting();
        return WriteFailure::Write;
    }
    if (!file.commit()) {
        *why = file.errorString();
        return WriteFailure::Commit;
    }
    return WriteFailure::None;
}
