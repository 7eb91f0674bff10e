#include "gui/mainwindow/tervalo.h"

#include "gui/mainwindow/editorfields.h"
#include "gui/widgets/messagebox.h"
#include "gui/widgets/pictureselector.h"
#include "platform/desktop.h"
#include "project/picture.h"

#include <QFileDialog>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QTimer>

namespace {
// How long the window takes to leave the screen before the still is taken,
// in milliseconds (a compositor fades it out; Wine is slower still).
constexpr int kHiddenSettleMs = 400;
} // namespace

void tervalo::capturePicture()
{
    pickOnScreen(PictureSelector::Pick::Area);
}

void tervalo::pickOnScreen(PictureSelector::Pick pick)
{
    explainConsent();
    hide();
    QTimer::singleShot(kHiddenSettleMs, this, [this, pick] {
        auto desktop = platform::currentDesktop();
        platform::ScreenImage shot;
        QImage still;
        if (desktop->grab(desktop->screenRect(), shot)) {
            // 0x00RRGGBB words; an image of RGB32 wants the top byte set.
            still = QImage(shot.area.width, shot.area.height, QImage::Format_RGB32);
            for (int y = 0; y < still.height(); ++y) {
                auto *line = reinterpret_cast<QRgb *>(still.scanLine(y));
                const std::uint32_t *from = shot.pixels.data() + std::ptrdiff_t(y) * shot.area.width;
                for (int x = 0; x < still.width(); ++x)
                    line[x] = 0xFF000000u | from[x];
            }
        } else if (pick == PictureSelector::Pick::Area) {
            show();
            messagebox::tell(this, QMessageBox::Warning, Text{"画像", "Picture"}.in(settings_.is_japanese),
                             Text{"このデスクトップでは画面を読み取れません。「読み込み…」で画像ファイルを使ってください。",
                                  "The screen cannot be read on this desktop. Use \"Load…\" with a picture file instead."}
                                 .in(settings_.is_japanese));
            return;
        }
        auto *selector = new PictureSelector(still, QPoint(shot.area.x, shot.area.y), settings_.is_japanese, pick);
        connect(selector, &PictureSelector::chosen, this, &tervalo::takePicture);
        connect(selector, &PictureSelector::pointChosen, this, &tervalo::takePoint);
        connect(selector, &PictureSelector::cancelled, this, [this] { show(); });
        selector->showOverScreen();
    });
}

void tervalo::loadPicture()
{
    const QString path = QFileDialog::getOpenFileName(this, Text{"画像を読み込み", "Load a picture"}.in(settings_.is_japanese),
                                                      QFileInfo(settings_.projectPath).absolutePath(),
                                                      Text{"PNG 画像 (*.png);;すべてのファイル (*)",
                                                           "PNG pictures (*.png);;All Files (*)"}.in(settings_.is_japanese));
    if (path.isEmpty())
        return;
    QImageReader reader(path);
    const QImage image = reader.read();
    if (image.isNull()) {
        messagebox::tell(this, QMessageBox::Warning, Text{"画像", "Picture"}.in(settings_.is_japanese),
                         Text{"画像として読めませんでした:\n%1", "This file could not be read as a picture:\n%1"}
                             .in(settings_.is_japanese)
                             .arg(QDir::toNativeSeparators(path)));
        return;
    }
    takePicture(image);
}

void tervalo::takePicture(const QImage &image)
{
    show();
    if (!picture::fits(image)) {
        messagebox::tell(this, QMessageBox::Warning, Text{"画像", "Picture"}.in(settings_.is_japanese),
                         Text{"画像が大きすぎます（%1 × %2）。幅も高さも %3 ピクセルまでにしてください。",
                              "The picture is too large (%1 × %2). Width and height may be at most %3 pixels."}
                             .in(settings_.is_japanese)
                             .arg(image.width())
                             .arg(image.height())
                             .arg(picture::kLargest));
        return;
    }
    if (!fields->takePicture(currentProject.currentCommand(), currentProject.currentCondition(), picture::encode(image)))
        return;
    setLocked(fields->incomplete(currentProject.currentCommand(), currentProject.currentCondition()));
    noteChange();
    renderPage();
}
