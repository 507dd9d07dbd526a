#include "viewer/form2.h"

#include "panel/form1.h"
#include "platform/forms/forms.h"
#include "platform/page_surface/page_surface.h"
#include "platform/window_system/taskbar.h"

#include <QPaintEvent>
#include <QPainter>
#include <QTimer>

#include <limits>

namespace {

constexpr int DesignWidth = 1095;   // twips: the client area before the panel places it
constexpr int DesignHeight = 315;

int tppX()
{
    return forms::Screen::TwipsPerPixelX();
}

int tppY()
{
    return forms::Screen::TwipsPerPixelY();
}

// Twip places count from the primary screen's corner, which need not be the desktop's.
QPoint origin()
{
    return forms::Screen::Area().topLeft();
}

} // namespace

PictureControl::PictureControl(QWidget *parent)
    : QWidget(parent)
{
    // The picture covers what it paints; nothing behind it needs drawing first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(72, 16);
}

void PictureControl::setPicture(const QImage &picture, std::shared_ptr<forms::PictureRest> rest)
{
    m_picture = picture;
    m_rest = std::move(rest);
    resize(picture.size());
    // At once, not when the command is over: the new page reaches the screen before the
    // panel repaints its list and name box.
    repaint();
}

void PictureControl::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    // Only the part in view: a 600-dpi page is far larger than the window.
    const QRect area = event->rect() & m_picture.rect() & visibleRegion().boundingRect();
    if (m_rest && m_rest->isDone())
        m_rest.reset();
    if (m_rest && !area.isEmpty())
        m_rest->waitFor(area.bottom() + 1, area.right() + 1);
    forms::timingMark("paint", QStringLiteral("%1x%2").arg(area.width()).arg(area.height()));
    if (!area.isEmpty())
        painter.drawImage(area.topLeft(), m_picture, area);
    forms::timingMark("painted");
}

Form2::Form2(Form1 *panel)
    : QWidget(nullptr,
              Qt::Window | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus
                  // Always made topmost before it shows; setting the hint later would
                  // make Qt replace the native window at its first show.
                  | Qt::WindowStaysOnTopHint)
    , m_panel(panel)
{
    setWindowTitle(QStringLiteral("Form2"));
    // The panel names the page on screen once one is loaded.
    setAccessibleName(QStringLiteral("Page"));
    setAccessibleDescription(
        QStringLiteral("The page on screen, above your other windows; clicks pass through it."));
    // The typist's program keeps the keyboard focus when the page appears.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_QuitOnClose, false);
    resize(qRound(double(DesignWidth) / tppX()), qRound(double(DesignHeight) / tppY()));
    m_placement = QRect(QPoint(), size());
    Image1 = new PictureControl(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Form_Load();
    // On Wayland desktops the picture may go to the screen another way than this window.
    page_surface::attach(this);
}

void Form2::Form_Load()
{
    // Far beyond any right edge: the line crosses the window at every width.
    Line1.X2 = int(forms::Screen::Width());
}

ws::HWND Form2::hWnd()
{
    return ws::windowHandle(this);
}

double Form2::Left() const { return double(geometry().x() - origin().x()) * tppX(); }
double Form2::Top() const { return double(geometry().y() - origin().y()) * tppY(); }
double Form2::Width() const { return double(geometry().width()) * tppX(); }
double Form2::Height() const { return double(geometry().height()) * tppY(); }

void Form2::setLeft(double twips)
{
    m_placement.moveLeft(qRound(twips / tppX()));
    place();
}

void Form2::setTop(double twips)
{
    m_placement.moveTop(qRound(twips / tppY()));
    place();
}

void Form2::setWidth(double twips)
{
    m_placement.setWidth(qMax(1, qRound(twips / tppX())));
    place();
}

void Form2::setHeight(double twips)
{
    m_placement.setHeight(qMax(1, qRound(twips / tppY())));
    place();
}

void Form2::place()
{
    m_corrections = 0;
    const int height = geometry().height();
    setGeometry(placementOnDesktop());
    // The full layout reaches below the screen, which a window manager may undo.
    if (geometry().height() > height)
        ws::repeatPlacement(this);
}

QRect Form2::placementOnDesktop() const
{
    QRect placed = m_placement;
    // Never past the screen's right edge, whatever the scale.
    const int room = forms::Screen::FittingWidth() - placed.left();
    if (room > 0 && placed.width() > room)
        placed.setWidth(room);
    return placed.translated(origin());
}

bool Form2::event(QEvent *event)
{
    // The page belongs to the panel's task: no taskbar, pager or Alt+Tab entry of its own.
    // Before every show (the event comes before the window is mapped).
    if (event->type() == QEvent::Show)
        taskbar::keepOff(this);
    // A window manager moves a window that reaches below the screen up into view; the
    // full-screen layout is meant to end below the screen, so put it back once.
    constexpr int MaxCorrections = 3;  // never fight a window manager that insists
    if (event->type() == QEvent::Move && isVisible() && pos() != placementOnDesktop().topLeft()
        && m_corrections < MaxCorrections) {
        ++m_corrections;
        QTimer::singleShot(0, this, [this] {
            if (geometry() != placementOnDesktop())
                setGeometry(placementOnDesktop());
        });
    }
    if (event->type() != QEvent::UpdateRequest)
        return QWidget::event(event);
    // The repaint and its flush to the window system happen in here.
    const bool handled = QWidget::event(event);
    ws::presentPainting();
    forms::timingMark("flushed");
    return handled;
}

void Form2::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setPen(QPen(Line1.BorderColor, Line1.BorderWidth));
    painter.drawLine(Line1.X1, Line1.Y1, Line1.X2, Line1.Y2);
}

void Form2::DialogAction(qint32 &dlgEffectsMethod)
{
    if (dlgEffectsMethod == 1)
        MakeLayered();
}

void Form2::MakeLayered()
{
    const ws::LONG_PTR style = ws::GetWindowLongA(hWnd(), ws::GWL_EXSTYLE);
    ws::SetWindowLongA(hWnd(), ws::GWL_EXSTYLE, style | ws::WS_EX_LAYERED);
}

bool Form2::fadeClick()
{
    bool ok = false;
    const int alpha = m_panel->Text1.trimmed().toInt(&ok);
    if (!ok || alpha < std::numeric_limits<qint16>::min() || alpha > std::numeric_limits<qint16>::max())
        return false;
    ws::SetLayeredWindowAttributes(hWnd(), 0, ws::BYTE(qBound(0, alpha, 255)), ws::LWA_ALPHA);
    return true;
}
