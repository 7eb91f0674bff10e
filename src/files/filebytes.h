#pragma once

// Reading and writing the program's own small files (the settings file and
// project files) the one safe way, so both keep the same guarantees.

#include <QByteArray>
#include <QString>

class FileBytes {
public:
    /// Reads a whole plain file of at most `maxBytes` bytes. Anything else
    /// fails with the reason in `why`: a pipe would wait for a writer that may
    /// never come, a device such as /dev/zero never ends, and a huge file
    /// would exhaust the memory. A read error half-way fails too.
    static bool read(const QString &path, qint64 maxBytes, QByteArray *bytes, QString *why);

    /// Which step of a write failed.
    enum class WriteFailure { None, Open, Write, Commit, Exists };
    /// Writes through a temporary file that replaces `path` only once every
    /// byte is written and synced, so a failed or killed save leaves the old
    /// file intact. `why` gets the reason of a failure.
    static WriteFailure write(const QString &path, const QByteArray &bytes, QString *why);
    /// Creates `path` as a new file and writes it: fails with Exists when
    /// anything is there, a symbolic link included (even one that points
    /// nowhere), decided by the system at the moment of creation (O_EXCL),
    /// so a file or link put there meanwhile is never replaced or followed.
    /// A failed write removes the half-written file.
    static WriteFailure create(const QString &path, const QByteArray &bytes, QString *why);
};
