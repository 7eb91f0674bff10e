#include "app/tervalo.h"

#include <QPushButton>
#include <QTimer>

void tervalo::buildWidgets()
{
    // Start screen only for now; the editor's controls come with the editor.
    newProjectButton = new QPushButton(QStringLiteral("新しいプロジェクトを作成"), this);
    newProjectButton->move(10, 10);
    newProjectButton->setFixedSize(610, 60);
    newProjectButton->setStyleSheet(QStringLiteral("QPushButton{font-size:24px;} QToolTip { font-size: 14pt; }"));
    connect(newProjectButton, &QPushButton::clicked, this, &tervalo::addNewCommand);
    loadProjectButton = new QPushButton(QStringLiteral("プロジェクトを読み込む"), this);
    loadProjectButton->move(10, 80);
    loadProjectButton->setFixedSize(610, 60);
    loadProjectButton->setStyleSheet(QStringLiteral("QPushButton{font-size:24px;} QToolTip { font-size: 14pt; }"));
    connect(loadProjectButton, &QPushButton::clicked, this, &tervalo::importedCommand);
    languageButton = new QPushButton(QStringLiteral("English"), this);
    languageButton->move(10, 150);
    languageButton->setFixedSize(610, 60);
    languageButton->setStyleSheet(QStringLiteral("QPushButton{font-size:24px;} QToolTip { font-size: 14pt; }"));
    connect(languageButton, &QPushButton::clicked, this, [this] {
        is_japanese = !is_japanese;
        changeLanguage();
    });
    pollTimer = new QTimer(this);
    connect(pollTimer, &QTimer::timeout, this, &tervalo::pollKeystroke);
}
