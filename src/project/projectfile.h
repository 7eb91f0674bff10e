#pragma once

// Reading and writing project files: a JSON object with the two record lists
// under "list_command" and "list_condition", written in Qt's indented form.
// Failures come back as the title and text of the box the user sees.

#include "project/pagekinds.h"
#include "project/records.h"

#include <QByteArray>
#include <QString>

class ProjectFile {
public:
    /// What went wrong, for texts other than the window's box.
    enum class Problem { None, NoPath, CannotOpen, CannotWrite, Parse, NotObject, Exists };

    struct Result {
        bool ok = false;
        QString errorTitle; ///< empty on success
        QString errorText;  ///< the window's box, as it has always read
        Problem problem = Problem::None;
        QString detail;     ///< the path, or the parser's message
        /// The failure as one line in English or Japanese, for the command
        /// line ("read error: cannot open the file: /x.cmdat").
        QString message(bool japanese) const;
    };

    struct ReadResult : Result {
        RecordList commands;
        RecordList conditions;
        /// The file broke the project's shape (unequal or empty lists, short
        /// records) and was mended on load.
        bool repaired = false;
        /// What repair changed and what cannot play as written, found in the
        /// lists as the file has them (see PageKinds::check).
        QList<PageKinds::Finding> findings;
    };

    /// Extension of project files, with its dot.
    static inline const QString kExtension = QStringLiteral(".cmdat");

    /// The document exactly as it is written to a file.
    static QByteArray toJson(const RecordList &commands, const RecordList &conditions);
    /// Parses a document. Elements of the lists that are not arrays are
    /// skipped; record elements that are not strings become their text.
    /// The lists come back as found in the document (not repaired).
    static ReadResult fromJson(const QByteArray &json);

    /// Writes through a temporary file that replaces the target only once
    /// everything is written, so a failed save leaves the old file intact.
    static Result write(const QString &path, const RecordList &commands, const RecordList &conditions);
    /// Writes a new file: refuses (Problem::Exists) when anything is at
    /// `path` by then, a symbolic link included (see FileBytes::create).
    static Result create(const QString &path, const RecordList &commands, const RecordList &conditions);
    /// Reads and parses a file, then repairs the lists so every record can be
    /// read by index. Anything but a plain file of sensible size (a folder,
    /// pipe, device, or a file of hundreds of megabytes) cannot be opened.
    /// Name a run (and the window title) shows for the project at `path`:
    /// "新規プロジェクト" for a project never saved, else the file name up to
    /// its first dot.
    static QString runProjectName(const QString &path);

    static ReadResult read(const QString &path);

    /// A recovery copy of unsaved work: the project document with the path
    /// of the project's own file added, written the same safe way.
    static Result writeRecovery(const QString &path, const RecordList &commands, const RecordList &conditions,
                                const QString &projectPath);
    struct RecoveryResult : ReadResult {
        QString projectPath;
    };
    /// Reads a recovery copy as read() reads a project, with its path.
    static RecoveryResult readRecovery(const QString &path);

    /// The chosen Save As name with ".cmdat" appended unless it already ends
    /// so (compared case-insensitively).
    static QString withExtension(const QString &path);
};
