#include "project/projectfile.h"

#include "files/filebytes.h"
#include "project/pagekinds.h"
#include "settings/settingsfile.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QVariant>

namespace {
const QString kCommandKey = QStringLiteral("list_command");
const QString kConditionKey = QStringLiteral("list_condition");
const QString kProjectPathKey = QStringLiteral("project_path");
const QString kSaveError = QStringLiteral("保存エラー");
const QString kReadError = QStringLiteral("読み込みエラー");
// Far beyond any project the editor makes (a million pages take about
// 100 MB, and reading one takes up to ten times its size in memory); a larger
// file would only exhaust the memory, or fail the allocation and end the
// program.
constexpr qint64 kMaxFileSize = 256 * 1024 * 1024;

QJsonArray toArray(const RecordList &list)
{
    QJsonArray array;
    for (const QStringList &record : list)
        array.append(QJsonArray::fromStringList(record));
    return array;
}

RecordList fromArray(const QJsonObject &object, const QString &key)
{
    RecordList list;
    const QJsonValue value = object.value(key);
    if (!value.isArray())
        return list;
    const QJsonArray array = value.toArray();
    list.reserve(array.size());
    for (const QJsonValue &element : array) {
        if (!element.isArray())
            continue;
        const QJsonArray fields = element.toArray();
        QStringList record;
        record.reserve(fields.size());
        for (const QJsonValue &field : fields)
            record.append(field.isString() ? field.toString() : field.toVariant().toString());
        list.append(record);
    }
    return list;
}

template <typename R>
R failure(const QString &title, const QString &text, ProjectFile::Problem problem, const QString &detail)
{
    R r;
    r.errorTitle = title;
    r.errorText = text;
    r.problem = problem;
    r.detail = detail;
    return r;
}
} // namespace

QByteArray ProjectFile::toJson(const RecordList &commands, const RecordList &conditions)
{
    QJsonObject object;
    object.insert(kCommandKey, toArray(commands));
    object.insert(kConditionKey, toArray(conditions));
    return QJsonDocument(object).toJson(QJsonDocument::Indented);
}

ProjectFile::ReadResult ProjectFile::fromJson(const QByteArray &json)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError)
        return failure<ReadResult>(kReadError, QStringLiteral("JSON 解析エラー: %1").arg(error.errorString()),
                                   Problem::Parse, error.errorString());
    if (!document.isObject())
        return failure<ReadResult>(kReadError, QStringLiteral("ファイルの形式が正しくありません。"), Problem::NotObject,
                                   QString());
    const QJsonObject object = document.object();
    ReadResult r;
    r.ok = true;
    r.commands = fromArray(object, kCommandKey);
    r.conditions = fromArray(object, kConditionKey);
    return r;
}

namespace {
// What a write through the safe file route came to, as the window and the
// command line tell it.
ProjectFile::Result savedOrWhyNot(FileBytes::WriteFailure outcome, const QString &path)
{
    using Problem = ProjectFile::Problem;
    switch (outcome) {
    case FileBytes::WriteFailure::None:
        break;
    case FileBytes::WriteFailure::Exists:
        return failure<ProjectFile::Result>(kSaveError, QStringLiteral("ファイルがすでにあります：%1").arg(path),
                                              Problem::Exists, path);
    case FileBytes::WriteFailure::Open:
        return failure<ProjectFile::Result>(kSaveError, QStringLiteral("ファイルを開けませんでした:%1").arg(path),
                                              Problem::CannotOpen, path);
    case FileBytes::WriteFailure::Write:
    case FileBytes::WriteFailure::Commit:
        return failure<ProjectFile::Result>(kSaveError,
                                              QStringLiteral("ファイルへの書き込みに失敗しました：%1").arg(path),
                                              Problem::CannotWrite, path);
    }
    ProjectFile::Result r;
    r.ok = true;
    return r;
}
} // namespace

ProjectFile::Result ProjectFile::write(const QString &path, const RecordList &commands,
                                       const RecordList &conditions)
{
    if (path.isEmpty())
        return failure<Result>(kSaveError, QStringLiteral("保存先が設定されていません。"), Problem::NoPath, QString());
    QString why;
    const FileBytes::WriteFailure outcome = FileBytes::write(path, toJson(commands, conditions), &why);
    // Save has always told a file that exists as a failed write.
    return savedOrWhyNot(outcome == FileBytes::WriteFailure::Exists ? FileBytes::WriteFailure::Write : outcome, path);
}

ProjectFile::Result ProjectFile::create(const QString &path, const RecordList &commands,
                                        const RecordList &conditions)
{
    if (path.isEmpty())
        return failure<Result>(kSaveError, QStringLiteral("保存先が設定されていません。"), Problem::NoPath, QString());
    QString why;
    return savedOrWhyNot(FileBytes::create(path, toJson(commands, conditions), &why), path);
}

ProjectFile::ReadResult ProjectFile::read(const QString &path)
{
    if (path.isEmpty())
        return failure<ReadResult>(kReadError, QStringLiteral("読み込むファイルが設定されていません。"), Problem::NoPath,
                                   QString());
    // Whatever kept the file from being read (a folder, a pipe, a file far too
    // large, a read error half-way) is one answer for the user: it could not
    // be opened. A read error must not show up as a confusing parse error.
    QByteArray json;
    QString why;
    if (!FileBytes::read(path, kMaxFileSize, &json, &why))
        return failure<ReadResult>(kReadError, QStringLiteral("ファイルを開けませんでした：%1").arg(path), Problem::CannotOpen,
                                   path);
    ReadResult r = fromJson(json);
    if (r.ok) {
        r.findings = PageKinds::check(r.commands, r.conditions);
        r.repaired = PageKinds::repair(r.commands, r.conditions);
    }
    return r;
}

ProjectFile::Result ProjectFile::writeRecovery(const QString &path, const RecordList &commands,
                                               const RecordList &conditions, const QString &projectPath)
{
    QJsonObject object;
    object.insert(kCommandKey, toArray(commands));
    object.insert(kConditionKey, toArray(conditions));
    object.insert(kProjectPathKey, projectPath);
    QString why;
    const FileBytes::WriteFailure outcome =
        FileBytes::write(path, QJsonDocument(object).toJson(QJsonDocument::Compact), &why);
    return savedOrWhyNot(outcome == FileBytes::WriteFailure::None ? outcome : FileBytes::WriteFailure::Write, path);
}

ProjectFile::RecoveryResult ProjectFile::readRecovery(const QString &path)
{
    QByteArray json;
    QString why;
    if (!FileBytes::read(path, kMaxFileSize, &json, &why))
        return failure<RecoveryResult>(kReadError, QStringLiteral("ファイルを開けませんでした：%1").arg(path),
                                       Problem::CannotOpen, path);
    RecoveryResult r;
    static_cast<ReadResult &>(r) = fromJson(json);
    if (r.ok) {
        r.repaired = PageKinds::repair(r.commands, r.conditions);
        r.projectPath = QJsonDocument::fromJson(json).object().value(kProjectPathKey).toString();
    }
    return r;
}

QString ProjectFile::Result::message(bool ja) const
{
    const bool reading = errorTitle == kReadError;
    QString text = reading ? (ja ? QStringLiteral("読み込みエラー: ") : QStringLiteral("read error: "))
                           : (ja ? QStringLiteral("保存エラー: ") : QStringLiteral("save error: "));
    // Concatenated, not arg(): a path may hold '%'.
    switch (problem) {
    case Problem::None:
        return QString();
    case Problem::NoPath:
        return text + (ja ? QStringLiteral("ファイルが指定されていません") : QStringLiteral("no file given"));
    case Problem::CannotOpen:
        return text + (ja ? QStringLiteral("ファイルを開けませんでした: ") : QStringLiteral("cannot open the file: "))
            + detail;
    case Problem::CannotWrite:
        return text + (ja ? QStringLiteral("ファイルへの書き込みに失敗しました: ")
                          : QStringLiteral("writing the file failed: "))
            + detail;
    case Problem::Exists:
        return text + (ja ? QStringLiteral("ファイルがすでにあります: ") : QStringLiteral("the file exists: ")) + detail;
    case Problem::Parse:
        return text + (ja ? QStringLiteral("JSON 解析エラー: ") : QStringLiteral("not JSON: ")) + detail;
    case Problem::NotObject:
        return text + (ja ? QStringLiteral("ファイルの形式が正しくありません")
                          : QStringLiteral("the file is not a project"));
    }
    return text;
}

QString ProjectFile::runProjectName(const QString &path)
{
    // A new project's path is the desktop folder until it is saved.
    if (path == SettingsFile::desktopPath())
        return QStringLiteral("新規プロジェクト");
    return QFileInfo(path).baseName();
}

QString ProjectFile::withExtension(const QString &path)
{
    if (path.endsWith(kExtension, Qt::CaseInsensitive))
        return path;
    return path + kExtension;
}
