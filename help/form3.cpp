#include "help/form3.h"

#include "platform/forms.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>

namespace {

constexpr int ClientWidth = 9930;   // twips
constexpr int ClientHeight = 7665;
constexpr int PictureWidth = 9975;  // a little larger: its right and bottom frame are cut off
constexpr int PictureHeight = 7695;

} // namespace

Form3::Form3(QWidget *parent)
    : QWidget(parent, Qt::Window)
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
