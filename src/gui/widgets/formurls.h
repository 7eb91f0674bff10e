#pragma once

// Public pages of the two hosted feedback forms. The report dialogs post to
// the feedback form's submission endpoint; the menus open the public pages in
// the browser.

#include <QString>

namespace formurls {

/// The feedback form shared by the bug report, the improvement suggestion and
/// the "need a reply" page.
inline const QString kFeedbackForm =
    QStringLiteral("https://docs.google.com/forms/d/e/1FAIpQLSdT7vKq3XyWm9TervaloFreeFeedbackR2aZp");
/// The form for questions about how to use the program.
inline const QString kQuestionForm =
    QStringLiteral("https://docs.google.com/forms/d/e/1FAIpQLSeK4nHw8TervaloFreeQuestionsJ6cLbYt0");

/// Public page of the feedback form (menu "返信が必要な場合").
inline const QString kReplyPage = kFeedbackForm + QStringLiteral("/viewform?usp=header");
/// Public page of the question form (menu "使い方を質問する").
inline const QString kQuestionPage = kQuestionForm + QStringLiteral("/viewform?usp=publish-editor");
/// Where the report dialogs send their form data.
inline const QString kFeedbackSubmit = kFeedbackForm + QStringLiteral("/formResponse");

} // namespace formurls
