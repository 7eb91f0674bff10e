#pragma once

// The main window. It owns the project, its history, the settings values,
// every widget, the editor's key capture and the global hot key for its whole
// life. The class is large, so its definition is split by concern over
// several files named tervalo_<concern>.cpp beside this one.

#include "gui/widgets/pictureselector.h"
#include "project/edithistory.h"
#include "project/pagekinds.h"
#include "project/project.h"
#include "record/recordingoptions.h"
#include "settings/settingsfile.h"
#include "settings/text.h"

#include <QAbstractNativeEventFilter>
#include <QMainWindow>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QAction;
class QCheckBox;
class QComboBox;
class QCloseEvent;
class QDoubleSpinBox;
class QGroupBox;
class QImage;
class QLabel;
class QListWidget;
class QMenu;
class QPushButton;
class QSpinBox;
class QTextEdit;
class QTimer;
class EditorFields;
class HoverHideWindow;
class KeyCapture;
class RecordingSession;
class RecoveryCopy;

class tervalo : public QMainWindow {
    Q_OBJECT

public:
    /// Receives WM_HOTKEY (or the backend's equivalent) for the pointer capture.
    class GlobalHotkeyFilter : public QAbstractNativeEventFilter {
    public:
        explicit GlobalHotkeyFilter(int id);
        ~GlobalHotkeyFilter() override;
        bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

        std::function<void()> callback;
        int hotkeyId;
    };

    explicit tervalo(QWidget *parent = nullptr);
    ~tervalo() override;

    /// True when the project differs from the copy last saved, loaded or created.
    bool hasUnsavedChanges() const;

    /// The project shown. Changing it shows nothing until renderPage.
    Project &project() { return currentProject; }
    const Project &project() const { return currentProject; }

    /// Closes the window as the end of the desktop session does: unsaved
    /// work goes into the recovery copy now, nothing is asked, a recording
    /// under way ends with its pages kept, and the settings are saved as on
    /// a normal close.
    void endSession();
    /// At start: when a program that has ended left a recovery copy, asks
    /// whether to restore it; restoring shows it in the editor, unsaved,
    /// with the path of its own file. False when there was none or the user
    /// declined (the copy is then removed).
    bool offerRecovery();

    /// The settings the window reads at start and writes at its close (run
    /// values, language, help mode, the questions asked, the recording's).
    SettingsValues &settings() { return settings_; }
    const SettingsValues &settings() const { return settings_; }

    /// The undo steps recorded so far (Undo and Redo walk them).
    const EditHistory &editHistory() const { return history; }
    /// True while a key capture waits for its key. The page and history
    /// slots then do nothing, so the key goes to the page it was started for.
    bool captureWaiting() const;
    /// True while Ctrl+Alt+G belongs to this program (a pointer capture
    /// waits for it).
    bool isHotkeyRegistered() const { return hotkeyRegistered; }

protected:
    void closeEvent(QCloseEvent *event) override;

public slots:
    // The slots that tests and benchmarks drive directly; the rest are the
    // window's own, below.
    /// The start screen's "create a new project" button.
    void addNewCommand();
    void addCommand();
    void addCondition();
    /// Shows the current page (and records an undo step when it changed).
    void renderPage();
    void nextPage();
    /// The ← button.
    void returnPage();
    void deletePage();
    void copy();
    /// Undo (not the ← page button).
    void pageBack();
    /// Redo (not the → page button).
    void pageForward();
    /// Save: over the project's file, or Save As for a project never saved.
    void saveFile3();
    void getCoordinate();
    void moveMousePointer();
    void changeLanguage();

signals:
    // Project files: emitted with each success beep of Save and Open.
    void projectFileBeeped();

public:
    /// Starts a run with the values the window holds now, as stertRun does
    /// once its dialog is accepted (tests start runs without the dialog).
    void launchRun();
    /// Says why the desktop is about to ask for this program's input (its
    /// own dialog comes next), when it is.
    void explainConsent();
    /// Makes the lists the whole project, counted as saved, and shows page 1
    /// (a new project, or one just read from a file). No beep, no message.
    void showProject(RecordList commands, RecordList conditions);
    /// Hides the window and records with these values, as recordActions does
    /// once its dialog is accepted; false when it cannot start.
    bool startRecording(const RecordingOptions &values);
    /// The recording under way, if any.
    const RecordingSession *recordingSession() const { return recording; }
    /// Puts pages after the current page and shows the first of them: one
    /// refresh, one undo step. Nothing happens for no pages.
    void insertPages(const RecordMapping::Pages &pages);

private slots:
    // Start screen (tervalo.cpp).
    /// The start screen's "load a project" button.
    void importedCommand();

    // Page editor (tervalo_editor.cpp).
    /// The operation kind combo changed (only remembers the kind; Add uses it).
    void changeMenuAddCommand();
    /// The condition kind combo changed (only remembers the kind).
    void changeMenuAddCondition();
    /// Any kind-specific field was edited: stores it into the current page.
    void changeSomeThing();

    // Page list (tervalo_pages.cpp).
    /// A click in the page strip: a page, or a "+" that inserts one.
    void changeWidgetPage();
    void paste();

    // Project files (tervalo_files.cpp).
    void newFile();
    /// Open.
    void loadFile1();
    /// Save As (always asks for a file name).
    void saveFile1();

    // Running (tervalo_run.cpp).
    /// The Run button: asks for the run's values, then starts the run.
    void stertRun();
    void onRunFinished();

    // Recording (tervalo_record.cpp): the menu entry "操作を記録...".
    void recordActions();

    // Key capture (tervalo_capture.cpp).
    void pollKeystroke();

    // Pointer capture (tervalo_hotkey.cpp).
    void getCoordinate2();

    // A page's picture (tervalo_picture.cpp): Capture freezes the screen and
    // takes the rectangle the person drags; Load reads a PNG file.
    void capturePicture();
    void loadPicture();

    // Reports (tervalo_report.cpp).
    void reportBug();
    void reportImprovementSuggestion();

private:
    /// The pages, the saved copies, the page shown and the copied page.
    Project currentProject;

    // ---- Members ----
    HoverHideWindow *hoverWindow = nullptr;
    // Read at start, written at the close; the settings file reads and
    // writes them in place.
    SettingsValues settings_;
    QString selectedCommandKind = PageKinds::kNone;
    QString selectedConditionKind = PageKinds::kWaitUntilOver;

    // The title of every question that could lose work.
    static constexpr Text kConfirmTitle{"最終確認", "Warning"};

    EditHistory history;
    bool restoringHistory = false;

    bool keyCaptureForCondition = false;
    bool rendering = false;
    bool editorShown = false;
    GlobalHotkeyFilter *hotkeyFilter = nullptr;
    bool hotkeyRegistered = false;
    int hotkeyId = 1001;

    // ---- Widgets (created by buildWidgets, in creation order). Each one
    // has its member name as object name, so tools find it by that name. ----
    QGroupBox *operationGroup = nullptr;   // #1 "操作"
    QGroupBox *conditionGroup = nullptr;   // #2 "条件"
    QGroupBox *pageGroup = nullptr;        // #3 "ページ"
    QPushButton *newProjectButton = nullptr;  // #4
    QPushButton *loadProjectButton = nullptr; // #5
    QPushButton *languageButton = nullptr;    // #6
    QComboBox *commandKindCombo = nullptr;    // #7
    QPushButton *addCommandButton = nullptr;  // #8
    QComboBox *conditionKindCombo = nullptr;  // #15
    QPushButton *addConditionButton = nullptr; // #16
    QPushButton *previousButton = nullptr;    // #21 "←"
    QPushButton *runButton = nullptr;         // #22
    QPushButton *nextButton = nullptr;        // #23 "→"
    QPushButton *deleteButton = nullptr;      // #24
    QLabel *pageCounterLabel = nullptr;       // #25
    QListWidget *pageList = nullptr;          // #26 page strip
    QPushButton *copyButton = nullptr;        // #27
    QPushButton *pasteButton = nullptr;       // #28
    QPushButton *undoButton = nullptr;        // #29
    QPushButton *redoButton = nullptr;        // #30
    // #31 is menuBar().
    QMenu *fileMenu = nullptr;
    QMenu *reportMenu = nullptr;
    QMenu *settingsMenu = nullptr;
    QMenu *versionMenu = nullptr;
    QMenu *helpMenu = nullptr;
    QMenu *otherMenu = nullptr;
    QAction *newAction = nullptr;             // "新規作成"
    QAction *openAction = nullptr;            // "開く"
    QAction *saveAsAction = nullptr;          // "名前を付けて保存"
    QAction *saveAction = nullptr;            // "上書き保存"
    QAction *reportBugAction = nullptr;       // "バグを報告"
    QAction *reportImprovementAction = nullptr; // "改善案を報告"
    QAction *needReplyAction = nullptr;       // "返信が必要な場合"
    QAction *askSaveAction = nullptr;         // "ファイルを保存するか確認する"
    QAction *askPasteAction = nullptr;        // "ページにペーストするか確認する"
    QAction *askDeleteAction = nullptr;       // "ページを削除するか確認する"
    QAction *versionAction = nullptr;         // "バージョン情報"
    QAction *helpModeAction = nullptr;        // "ヘルプモード"
    QAction *askHowToUseAction = nullptr;     // "使い方を質問する"
    QAction *languageAction = nullptr;        // "English"
    QAction *termsAction = nullptr;           // terms of use document
    QAction *ossNoticeAction = nullptr;       // open-source notice document
    QAction *qtReplaceAction = nullptr;       // Qt library replacement document
    QAction *lgplAction = nullptr;            // LGPLv3 text
    QMenu *recordMenu = nullptr;              // "記録"
    QAction *recordAction = nullptr;          // "操作を記録..."
    QTimer *pollTimer = nullptr;              // #34
    /// The kind-specific controls of both panels and the two name labels.
    EditorFields *fields = nullptr;

    // tervalo.cpp
    void showEditor();
    void loadSettings();
    void saveSettings();

    // tervalo_layout.cpp: creates every control, menu and connection.
    void buildWidgets();
    // tervalo_controls.cpp: every control's name, texts and tooltip, one row each.
    struct Control {
        QObject *part;
        const char *name; ///< object name, the member's own
        Text text;        ///< null when the row does not set it
        Text tip;         ///< help-mode tooltip; null when the row does not set it
    };
    QList<Control> controls() const;
    void nameControls();
    void applyControlTexts();
    void applyControlTips();

    // tervalo_editor.cpp
    void setLocked(bool locked);

    // tervalo_history.cpp: the history step of renderPage.
    void recordHistory();
    /// Records the project as an undo step when field edits changed it since
    /// the last refresh (before Undo, Redo, Add, Paste, Delete).
    void recordPendingEdit();

    // tervalo_files.cpp
    bool confirmReplace(const QString &japaneseText, const QString &englishText);
    void writeProjectFile();
    /// False when the file could not be read (a message box said why).
    bool readProjectFile();
    /// After Open: one box listing what was repaired or will not run as written.
    void tellFindings(const QList<PageKinds::Finding> &findings);
    /// Gives the panel whose picture button was pressed its new picture
    /// (refused with a message when it is too large), and shows the window.
    void takePicture(const QImage &image);
    /// Hides the window and shows the screen frozen (or see-through, when
    /// it cannot be read and a point is wanted) for a rectangle or a point.
    void pickOnScreen(PictureSelector::Pick pick);
    /// Gives the panel whose Get button was pressed the point (virtual
    /// screen pixels), and shows the window.
    void takePoint(const QPoint &point);

    // tervalo_capture.cpp
    /// The controls a key capture disables until its key comes.
    QList<QWidget *> lockedWhileCapturing() const;
    /// The editor's capture instance, made on first use.
    std::shared_ptr<KeyCapture> keyCapture;
    void beginKeyCapture(bool forCondition);
    void enterCaptureMode(bool forCondition);
    void leaveCaptureMode();
    /// Disarms the editor's capture and removes its hook (destruction, close).
    void cancelKeyCapture();

    // tervalo_hotkey.cpp
    /// False when the hot key could not be registered (another program owns
    /// it, or the desktop gives no global keys to this program).
    bool registerGlobalHotkey();
    /// The warning box shown instead of the notice when that happens.
    void showHotKeyUnavailable();
    void unregisterGlobalHotkey();

    // tervalo_record.cpp
    RecordingOptions recordValues() const;
    RecordingSession *recording = nullptr;

    // tervalo_recovery.cpp: the copy of unsaved work.
    /// A change was shown or typed: the copy follows within kRecoveryDelay.
    void noteChange();
    /// Writes the copy while the project is unsaved, removes it otherwise.
    void keepRecoveryCopy();
    /// The project was saved or deliberately left: its copy goes.
    void dropRecoveryCopy();
    std::unique_ptr<RecoveryCopy> recoveryCopy;
    QTimer *recoveryTimer = nullptr;
    RecordList copiedCommands; ///< as last written to the copy
    RecordList copiedConditions;
    QString copiedPath;
    bool endingSession = false;

    // tervalo_help.cpp, tervalo_menus.cpp
    void applyHelpTooltips();
    void showFirstStartNotice();
    /// Shown once (remembered in the settings) when the session is Wayland.
    void showWaylandNotice();
    void openBrowserLink(const QString &url);
    void showVersion();
    void openDocument(const QString &name);
};
