#pragma once

// The kind-specific controls of the page editor: for each operation and
// condition kind, the fields that edit its record at their places in the two
// panels, with their texts and help tooltips in both languages. A kind's
// parameters (times, a button, a key, a text) show in the shared controls of
// its panel, so a kind made of those needs no code here; coordinates, a
// colour, a clock time and the wheel have fields of their own. The window's
// changeSomeThing and its page display forward here.
//
// Every control gets its designed member name as its object name
// ("commandTimeSpin", "xSpin1", ...), which is how tests find them.

#include "platform/desktop.h"
#include "project/records.h"

#include <QObject>

#include <memory>
#include <optional>
#include <vector>

class QLabel;
class QWidget;

class EditorFields : public QObject {
    Q_OBJECT
public:
    /// Creates the fields of both panels and the two kind-name labels as
    /// hidden children of `window`, in their drawing order.
    explicit EditorFields(QWidget *window);
    ~EditorFields() override;

    /// Hides every kind-specific control of both panels.
    void hideAll();
    /// Shows the controls of the two records' kinds with the records' values
    /// (times read with toFloat, integers with toInt, clamped by the spin
    /// boxes) and the kinds' names in the name labels; a kind not in the
    /// table shows nothing and leaves its label as it is.
    void show(const CommandRecord &command, const ConditionRecord &condition, bool japanese);
    /// Writes every field of the two records' kinds back into the records
    /// (never changing their length or kind). Returns what the edit decides
    /// for the completion lock: set when either record holds a text (the page
    /// as incomplete() sees it after the edit), empty otherwise.
    std::optional<bool> store(CommandRecord &command, ConditionRecord &condition, bool japanese) const;
    /// True while the page cannot be left: a Key condition without its key,
    /// or else a Key operation without its key or an Enter Text operation
    /// without its text.
    bool incomplete(const CommandRecord &command, const ConditionRecord &condition) const;

    /// A pointer position taken with the hot key for the Get button pressed
    /// last: the fields of that panel's kind take it (and whatever else they
    /// read at that point). Returns false when the kind takes no position.
    bool takePoint(CommandRecord &command, ConditionRecord &condition, platform::Point point);
    /// A picture (a record's text for it) taken with the Capture or Load
    /// button pressed last: that panel's kind takes it. False when the kind
    /// holds no picture.
    bool takePicture(CommandRecord &command, ConditionRecord &condition, const QString &pictureText);
    /// Where the Test button puts the pointer for this operation, if anywhere.
    std::optional<platform::Point> testTarget(const CommandRecord &command) const;

    /// Capture mode of a Key kind: that panel's key label shows `prompt`,
    /// its time controls hide.
    void showCapturePrompt(bool forCondition, const QString &prompt);
    /// The kind-name label of a panel.
    QLabel *nameLabel(bool forCondition) const;

    /// Texts of the interface language (the name labels get their start texts).
    void setTexts(bool japanese);
    /// Help tooltips in the interface language, or none when help is off.
    void setTooltips(bool japanese, bool help);

    class Fields;
    struct Controls;

signals:
    /// The user changed a field (the window's changeSomeThing).
    void edited();
    /// A Get button was pressed (the window's getCoordinate).
    void getRequested();
    /// The Test button was pressed (the window's moveMousePointer).
    void testRequested();
    /// A picture's Capture button was pressed (the window's capturePicture).
    void pictureCaptureRequested();
    /// A picture's Load button was pressed (the window's loadPicture).
    void pictureLoadRequested();

private:
    const Fields *fieldsFor(const QString &kind, bool forCondition) const;

    std::unique_ptr<Controls> controls_;
    std::vector<std::unique_ptr<Fields>> kinds_;
    bool pointForCondition_ = false;
    bool pictureForCondition_ = false;
};
