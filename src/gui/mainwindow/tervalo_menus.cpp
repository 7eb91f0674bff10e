#include "gui/mainwindow/tervalo.h"

#include "files/datafiles.h"

#include "gui/dialogs/termdialog.h"
#include "gui/widgets/urlopener.h"

#include <QMessageBox>

void tervalo::openBrowserLink(const QString &url)
{
    if (is_japanese) {
        messageTitle = QStringLiteral("確認");
        messageText = QStringLiteral("ブラウザを起動します。\n続行しますか？");
    } else {
        messageTitle = QStringLiteral("Question");
        messageText = QStringLiteral("Launching your browser.\nDo you want to continue?");
    }
    const auto answer = QMessageBox::question(this, messageTitle, messageText,
                                              QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer == QMessageBox::Yes)
        UrlOpener::open(QUrl(url));
}

void tervalo::showVersion()
{
    if (is_japanese) {
        messageTitle = QStringLiteral("情報");
        messageText = QStringLiteral("バージョン：1.5\n時間：2026年7月19日17時13分");
    } else {
        messageTitle = QStringLiteral("Information");
        messageText = QStringLiteral("Version:1.5\nTime:July 19, 2026 17:13");
    }
    QMessageBox::information(this, messageTitle, messageText, QMessageBox::Ok);
}

void tervalo::openDocument(const QString &name)
{
    TermDialog dialog(DataFiles::document(name), this);
    dialog.exec();
}
