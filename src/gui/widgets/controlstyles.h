#pragma once

// The style sheets and the fixed placement every control of the main window
// uses. The window has no layout managers: each control sits at fixed pixel
// coordinates with its own sheet.

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QSpinBox>
#include <QString>
#include <QStringList>
#include <QWidget>

namespace controlstyles {

// Every sheet ends with the tooltip rule, so each control's tooltips are drawn
// at 14 points whatever the application-wide tooltip font is.
inline const QString kGroupStyle = QStringLiteral(
    "QGroupBox { font-size: 24px; border: 2px solid black; border-radius: 5px; margin-top: 10px; } "
    "QGroupBox::title { subcontrol-origin: margin; left: 10px; padding: 0 3px; } "
    "QToolTip { font-size: 14pt; }");                                                                 // S1
inline const QString kButtonStyle = QStringLiteral("QPushButton{font-size:24px;} QToolTip { font-size: 14pt; }");  // S2
inline const QString kComboStyle = QStringLiteral("QComboBox{font-size: 24px;} QToolTip { font-size: 14pt; }");    // S3
inline const QString kLabelStyle = QStringLiteral("QLabel{font-size:24px;} QToolTip { font-size: 14pt; }");        // S4
inline const QString kTextStyle = QStringLiteral("QTextEdit{font-size: 24px;} QToolTip { font-size: 14pt; }");     // S5
inline const QString kSecondsStyle = QStringLiteral("QLabel{font-size:30px;} QToolTip { font-size: 14pt; }");      // S6
inline const QString kDoubleSpinStyle =
    QStringLiteral("QDoubleSpinBox{font-size: 24px;} QToolTip { font-size: 14pt; }");                       // S7
inline const QString kBigButtonStyle = QStringLiteral("QPushButton{font-size:48px;} QToolTip { font-size: 14pt; }"); // S8
inline const QString kDeleteStyle = QStringLiteral(
    "QPushButton { font-size: 24px; background-color: #FF0000; color: white; border-radius: 5px; } "
    "QPushButton:hover { background-color: #CC0000; } "
    "QPushButton:pressed { background-color: #990000; } "
    "QToolTip { font-size: 14pt; }");                                                                  // S9
inline const QString kTooltipOnlyStyle = QStringLiteral("QToolTip { font-size: 14pt; }");                      // S10
inline const QString kPasteStyle = QStringLiteral("QPushButton{font-size:16px;} QToolTip { font-size: 14pt; }");   // S11
inline const QString kSmallButtonStyle =
    QStringLiteral("QPushButton{font-size:12px;} QToolTip { font-size: 14pt; }");                          // S12
inline const QString kSmallLabelStyle = QStringLiteral("QLabel{font-size: 24px;} QToolTip { font-size: 14pt; }");  // S13
inline const QString kSpinStyle = QStringLiteral("QSpinBox{font-size: 24px;} QToolTip { font-size: 14pt; }");      // S14

// Places a control at a fixed spot with a fixed size and its own style.
template <typename W>
W *place(W *widget, int x, int y, int width, int height, const QString &style, bool visible = false)
{
    widget->move(x, y);
    widget->setFixedSize(width, height);
    widget->setStyleSheet(style);
    widget->setVisible(visible);
    return widget;
}

// Places a dialog's control at a fixed spot with its font at a point size
// (the dialogs set fonts, not sheets).
template <typename W>
W *placed(W *widget, int x, int y, int w, int h, int pointSize)
{
    widget->setGeometry(x, y, w, h);
    QFont f = widget->font();
    f.setPointSize(pointSize);
    widget->setFont(f);
    return widget;
}

inline QComboBox *comboBox(QWidget *parent, const QStringList &items)
{
    auto *combo = new QComboBox(parent);
    combo->addItems(items);
    return combo;
}

inline QDoubleSpinBox *secondsSpin(QWidget *parent, double step)
{
    auto *spin = new QDoubleSpinBox(parent);
    spin->setDecimals(2);
    spin->setRange(0.01, 1000);
    spin->setSingleStep(step);
    spin->setValue(0.01);
    return spin;
}

inline QSpinBox *spinBox(QWidget *parent, int minimum, int maximum, bool arrows)
{
    auto *spin = new QSpinBox(parent);
    spin->setRange(minimum, maximum);
    spin->setSingleStep(1);
    spin->setValue(0);
    if (!arrows)
        spin->setButtonSymbols(QAbstractSpinBox::NoButtons);
    return spin;
}

} // namespace controlstyles
