// The panel's window settings and controls: kinds, design captions, places in twips.

#include "panel/form1.h"
#include "platform/forms/forms.h"

#include <cmath>

#include <QGuiApplication>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QScrollBar>
#include <QScreen>
#include <QWindow>

namespace {

// Places and sizes in twips, from the top-left corner of the client area.
struct TwipRect {
    int left, top, width, height;
};

constexpr TwipRect ClientArea{7440, 435, 6585, 720};

QRect toPixels(const TwipRect &r)
{
    const double x = forms::Screen::TwipsPerPixelX();
    const double y = forms::Screen::TwipsPerPixelY();
    return QRect(qRound(r.left / x), qRound(r.top / y), qRound(r.width / x), qRound(r.height / y));
}

QPushButton *makeButton(QWidget *parent, const char *objectName, const QString &caption,
                        const TwipRect &place)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(objectName));
    button->setGeometry(toPixels(place));
    button->setAutoDefault(false);
    return button;
}

QScrollBar *makeScrollBar(QWidget *parent, const char *objectName, Qt::Orientation orientation,
                          const TwipRect &place, int min, int max, int smallStep, int largeStep,
                          int value)
{
    auto *bar = new QScrollBar(orientation, parent);
    bar->setObjectName(QLatin1String(objectName));
    bar->setGeometry(toPixels(place));
    bar->setRange(min, max);
    bar->setSingleStep(smallStep);
    bar->setPageStep(largeStep);
    bar->setValue(value);
    // A drag acts once, when the thumb is released.
    bar->setTracking(false);
    bar->setFocusPolicy(Qt::StrongFocus);
    return bar;
}

// The primary screen, where the panel's frame must fit. Scaled by a fraction (144 dpi),
// the screen's last pixel in Qt's units can reach past the last device pixel.
QRect panelScreen()
{
    QRect area = forms::Screen::Area();
    const QScreen *screen = QGuiApplication::primaryScreen();
    const qreal ratio = screen ? screen->devicePixelRatio() : 1.0;
    if (ratio != std::floor(ratio))
        area.adjust(0, 0, -1, -1);
    return area;
}

} // namespace

void Form1::createControls()
{
    // Fixed single border: minimise and close, no maximise, no resizing.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                   | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                   | Qt::WindowCloseButtonHint);
    setWindowTitle(QStringLiteral("Zorvane page reader"));
    // Placed from the primary screen's corner; the frame is not known yet.
    QRect client = toPixels(ClientArea).translated(forms::Screen::Area().topLeft());
    client.moveTopLeft(fitOnScreen(client, QMargins(), panelScreen()));
    setGeometry(client);
    setFixedSize(client.size());

    m_background = QPixmap(QStringLiteral(":/panel.png"));

    File1 = new PageList(this);
    File1->setObjectName(QStringLiteral("File1"));
    File1->setGeometry(toPixels({0, 0, 1815, 675}));
    File1->setAccessibleName(QStringLiteral("Pages"));
    File1->setSelectionMode(QAbstractItemView::SingleSelection);
    File1->setUniformItemSizes(true);

    Text4 = new QLineEdit(this);
    Text4->setObjectName(QStringLiteral("Text4"));
    Text4->setGeometry(toPixels({2000, 0, 1575, 375}));
    Text4->setAccessibleName(QStringLiteral("Page name"));

    Command6 = makeButton(this, "Command6", QStringLiteral("Load image"), {2000, 360, 1575, 340});
    HScroll1 = makeScrollBar(this, "HScroll1", Qt::Horizontal, {3960, 0, 1935, 280}, 10, 255, 5, 5,
                             100);
    HScroll1->setAccessibleName(QStringLiteral("Opacity"));
    Command3 = makeButton(this, "Command3", QStringLiteral("Full screen"), {3840, 360, 1215, 340});
    Command4 = makeButton(this, "Command4", QStringLiteral("Help ?"), {5280, 360, 735, 340});
    VScroll1 = makeScrollBar(this, "VScroll1", Qt::Vertical, {6240, 0, 375, 735}, 0, 30000, 50, 400,
                             0);
    VScroll1->setAccessibleName(QStringLiteral("Vertical position"));

    // Below the client area: never seen, but in the tab order, so Space presses them.
    Command7 = makeButton(this, "Command7", QStringLiteral("next page"), {960, 1080, 735, 495});
    Command8 = makeButton(this, "Command8", QStringLiteral("prev page"), {120, 1080, 735, 495});
    Command9 = makeButton(this, "Command9", QStringLiteral("เลื่อนลง 1 หน้า"), {1800, 1320, 855, 495});
    Command10 = makeButton(this, "Command10", QStringLiteral("เลื่อนขึ้น 1 หน้า"), {1800, 840, 855, 495});
    Command11 = makeButton(this, "Command11", QStringLiteral("Command11"), {3240, 960, 1935, 375});

    // What each control does, for screen readers; buttons are named by their captions.
    File1->setAccessibleDescription(
        QStringLiteral("The pages of the page folder in reading order; choose one to show it."));
    Text4->setAccessibleDescription(
        QStringLiteral("Type a page's file name and press Enter to show that page."));
    Command6->setAccessibleDescription(QStringLiteral("Shows the page named in the page name box."));
    HScroll1->setAccessibleDescription(
        QStringLiteral("How solid the page is: left is see-through, right is solid."));
    Command4->setAccessibleDescription(QStringLiteral("Opens a window that explains the panel."));
    VScroll1->setAccessibleDescription(QStringLiteral("Moves the page up and down."));
    Command7->setAccessibleDescription(QStringLiteral("Shows the next page (Ctrl+Shift+K)."));
    Command8->setAccessibleDescription(QStringLiteral("Shows the previous page (Ctrl+Shift+H)."));
    Command9->setAccessibleDescription(
        QStringLiteral("Moves the page down by one window height (Ctrl+Shift+M)."));
    Command10->setAccessibleDescription(
        QStringLiteral("Moves the page up by one window height (Ctrl+Shift+U)."));
    Command11->setAccessibleDescription(QStringLiteral("Has no visible effect."));

    QWidget *const tabOrder[] = {HScroll1, Command3, Command4,  Text4,     File1,    Command6,
                                 VScroll1, Command7, Command8, Command9, Command10, Command11};
    for (size_t i = 0; i + 1 < std::size(tabOrder); ++i)
        setTabOrder(tabOrder[i], tabOrder[i + 1]);
    HScroll1->setFocus(Qt::OtherFocusReason);
}

QPoint Form1::fitOnScreen(const QRect &client, const QMargins &frame, const QRect &screen)
{
    QPoint place = client.topLeft();
    if (screen.isEmpty())
        return place;
    const int overRight = client.right() + frame.right() - screen.right();
    if (overRight > 0)
        place.rx() = qMax(screen.left() + frame.left(), place.x() - overRight);
    const int overBottom = client.bottom() + frame.bottom() - screen.bottom();
    if (overBottom > 0)
        place.ry() = qMax(screen.top() + frame.top(), place.y() - overBottom);
    // A title bar above the screen cannot be reached to move the window.
    place.rx() = qMax(place.x(), screen.left() + frame.left());
    place.ry() = qMax(place.y(), screen.top() + frame.top());
    return place;
}

void Form1::fitFrameOnScreen()
{
    const QMargins frame = windowHandle() ? windowHandle()->frameMargins() : QMargins();
    const QPoint place = fitOnScreen(geometry(), frame, panelScreen());
    if (place != geometry().topLeft())
        setGeometry(QRect(place, size()));
}
