#include "gui/mainwindow/tervalo.h"

#include "files/datafiles.h"

#include "gui/dialogs/termdialog.h"
#include "gui/widgets/messagebox.h"
#include "gui/widgets/urlopener.h"

#include <QMessageBox>

void tervalo::openBrowserLink(const QString &url)
{
    if (messagebox::ask(this, QMessageBox::Question, Text{"確認", "Question"}.in(settings_.is_japanese),
                        Text{"ブラウザを起動します。\n続行しますか？", "Launching your browser.\nDo you want to continue?"}
                            .in(settings_.is_japanese)))
        UrlOpener::open(QUrl(url));
}

void tervalo::showVersion()
{
    messagebox::tell(this, QMessageBox::Information, Text{"情報", "Information"}.in(settings_.is_japanese),
                     Text{"バージョン：1.5\n時間：2026年7月19日17時13分", "Version:1.5\nTime:July 19, 2026 17:13"}
                         .in(settings_.is_japanese));
}

void tervalo::openDocument(const QString &name)
{
    TermDialog dialog(DataFiles::document(name), this);
    dialog.exec();
}
