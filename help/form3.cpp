#include "help/form3.h"

#include "platform/forms/forms.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>

namespace {

constexpr int ClientWidth = 9930;   // twips
constexpr int ClientHeight = 7665;
constexpr int PictureWidth = 9975;  // a little larger: its right and bottom frame are cut off
constexpr int PictureHeight = 7695;

// What the help sheet says, for those who cannot see it.
const char *const SheetText =
    "Program instruction. "
    "Part 1, file preparation. 1: Scan the paper documents with a width that fits the "
    "screen (640, 800, 1024, 1280 or 1600 pixels); pages of another width are shown smaller "
    "or larger than the screen, which also works. 2: Save the files with ordered numbers "
    "(1.jpg, 2.jpg, 3.jpg and so on) in the page folder. "
    "Part 2, program usage. 1: Open Word, Excel or another typing program. 2: Open Zorvane; "
    "its control panel appears near the top of the screen. Select a page in the list on the "
    "left to see it; the layout button switches the page between half-screen and full-screen "
    "height; the slider sets how see-through the page is; the scroll bar on the right moves "
    "the page up and down. "
    "Shortcuts, which work while the typing program has the keyboard: Ctrl+Shift+K next page, "
    "Ctrl+Shift+H previous page, Ctrl+Shift+M scroll down one page, Ctrl+Shift+U scroll up "
    "one page.";

} // namespace

Form3::Form3(QWidget *parent)
    // Above the page window, which stays above every ordinary window.
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint)
{
    setWindowTitle(QStringLiteral("How to use"));
    // Closing the window ends it; the help button makes a fresh one.
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_QuitOnClose, false);

    const int tppX = forms::Screen::TwipsPerPixelX();
    const int tppY = forms::Screen::TwipsPerPixelY();
    const QSize client(qRound(double(ClientWidth) / tppX), qRound(double(ClientHeight) / tppY));
    resize(client);

    Picture1 = new QLabel(this);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    Picture1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Picture1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Picture1->setPixmap(QPixmap(QStringLiteral(":/help_sheet.png")));
    Picture1->setAccessibleName(QStringLiteral("How to use Zorvane"));
    Picture1->setAccessibleDescription(QString::fromUtf8(SheetText));
    Picture1->setGeometry(0, 0, qRound(double(PictureWidth) / tppX),
                          qRound(double(PictureHeight) / tppY));
    Picture1->setFocusPolicy(Qt::StrongFocus);

    if (QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect place(QPoint(), client);
        place.moveCenter(screen->geometry().center());
        // The client area is what gets centred; move() would place the frame's corner.
        setGeometry(place);
    }
}
