#include "project/recoverycopy.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QStandardPaths>

namespace {
QString g_testFolder;
const QString kPrefix = QStringLiteral("recovery-");
const QString kLockSuffix = QStringLiteral(".lock");

QString lockPathOf(const QString &file)
{
    return file.left(file.size() - ProjectFile::kExtension.size()) + kLockSuffix;
}
} // namespace

RecoveryCopy::RecoveryCopy() = default;
RecoveryCopy::~RecoveryCopy() = default;

QString RecoveryCopy::folder()
{
    if (!g_testFolder.isEmpty())
        return g_testFolder;
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}

void RecoveryCopy::setFolderForTesting(const QString &folder)
{
    g_testFolder = folder;
}

bool RecoveryCopy::claim(const QString &file, bool leftover)
{
    auto lock = std::make_unique<QLockFile>(lockPathOf(file));
    // A lock is stale only when its program is gone, never for its age: a
    // program may keep its copy for days.
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0))
        return false;
    // A free slot must hold no copy: that one waits to be offered.
    if (leftover != QFile::exists(file))
        return false;
    lock_ = std::move(lock);
    file_ = file;
    return true;
}

bool RecoveryCopy::claimLeftover()
{
    if (lock_)
        return false;
    const QDir dir(folder());
    const QStringList copies =
        dir.entryList({kPrefix + QLatin1Char('*') + ProjectFile::kExtension}, QDir::Files, QDir::Name);
    for (const QString &name : copies) {
        if (claim(dir.filePath(name), true))
            return true;
    }
    return false;
}

ProjectFile::RecoveryResult RecoveryCopy::read() const
{
    return ProjectFile::readRecovery(file_);
}

bool RecoveryCopy::write(const RecordList &commands, const RecordList &conditions, const QString &projectPath)
{
    if (!lock_) {
        const QDir dir(folder());
        if (!dir.mkpath(QStringLiteral("."))) {
            qWarning() << "Recovery copy: cannot make the folder" << dir.path();
            return false;
        }
        for (int n = 1; !lock_ && n <= 1000; ++n)
            claim(dir.filePath(kPrefix + QString::number(n) + ProjectFile::kExtension), false);
        if (!lock_) {
            qWarning() << "Recovery copy: no free file in" << dir.path();
            return false;
        }
    }
    const ProjectFile::Result r = ProjectFile::writeRecovery(file_, commands, conditions, projectPath);
    if (!r.ok)
        qWarning() << "Recovery copy:" << r.errorText;
    return r.ok;
}

void RecoveryCopy::remove()
{
    if (!lock_)
        return;
    QFile::remove(file_);
    lock_.reset();
    file_.clear();
}
