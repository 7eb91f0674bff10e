#pragma once

// The recovery copy of a window's unsaved work, in the per-user data folder,
// so that nothing is lost when the program is killed or the session ends.
// Each running program writes a file of its own ("recovery-N.cmdat") and
// holds a lock file beside it ("recovery-N.lock") while it lives: a copy
// whose lock nobody holds was left by a program that has ended, and the
// next start offers it. Two programs running at once never write over, or
// remove, each other's copy.

#include "project/projectfile.h"

#include <QString>

#include <memory>

class QLockFile;

class RecoveryCopy {
public:
    RecoveryCopy();
    /// Lets go of the lock; the file stays (it is removed by remove()).
    ~RecoveryCopy();

    /// The per-user data folder (AppDataLocation), or the test's folder.
    static QString folder();
    /// Tests keep their copies in a folder of their own (empty: the real one).
    static void setFolderForTesting(const QString &folder);

    /// Takes over a copy left by a program that has ended; false when there
    /// is none. The copy is then this program's, as if it had written it.
    bool claimLeftover();
    /// Reads the copy taken over.
    ProjectFile::RecoveryResult read() const;
    /// Writes this program's copy (a file of its own on the first write).
    bool write(const RecordList &commands, const RecordList &conditions, const QString &projectPath);
    /// Removes this program's copy, if it has one.
    void remove();
    /// The file of this program's copy; empty before it has one.
    QString path() const { return file_; }

private:
    bool claim(const QString &file, bool leftover);

    std::unique_ptr<QLockFile> lock_;
    QString file_;
};
