#include "gui/mainwindow/tervalo.h"

#include "gui/mainwindow/editorfields.h"
#include "gui/widgets/textfit.h"
#include "settings/text.h"

#include <QAction>
#include <QComboBox>
#include <QDebug>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>

namespace {

// Renames items in place so the selected index, and everything that hangs on
// it, survives the switch.
void setItems(QComboBox *w, const QStringList &items)
{
    for (int i = 0; i < items.size() && i < w->count(); ++i)
        w->setItemText(i, items.at(i));
}

} // namespace

void tervalo::changeLanguage()
{
    qDebug("言語変更");
    const bool ja = settings_.is_japanese;

    applyControlTexts();
    // The kind combo boxes list the kinds table in the language chosen.
    setItems(commandKindCombo, PageKinds::operationItems(ja));
    setItems(conditionKindCombo, PageKinds::conditionItems(ja));
    fields->setTexts(ja);

    applyHelpTooltips();

    if (editorShown)
        renderPage();
    else
        TextFit::fitAll(this);
}
