#include "panel/form1.h"

#include "help/form3.h"
#include "hotkeys/module1.h"
#include "persist/state_saver.h"
#include "persist/text_file.h"
#include "platform/forms/forms.h"
#include "platform/window_system/termination.h"
#include "viewer/form2.h"
#include "viewer/page_cache.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QLoggingCategory>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QWindow>
#include <QTimer>

#include <cmath>
#include <limits>

Q_LOGGING_CATEGORY(lcPanel, "zorvane.panel")

namespace {

constexpr int ImageWindowTop = 1200;          // twips below the screen's top edge
constexpr int HalfScreenMargin = 600;         // twips taken off each layout's height
constexpr int ScrollOverlap = 16;             // pixels of one view kept in the next
constexpr int ScrollMax = 30000;
constexpr int ShowNameMinLength = 4;       // a name longer than this re-shows the page
// How long the pointer rests on a list entry before its page is decoded ahead of a click:
// longer than crossing an entry on the way elsewhere, shorter than aiming at one.
constexpr int PointerRestMs = 120;
constexpr ws::UINT TopmostShowFlags = ws::SWP_NOSIZE | ws::SWP_NOMOVE | ws::SWP_SHOWWINDOW;
constexpr ws::UINT PanelPrivateMessage = 0x8FF1;
const QString LineBreak = QStringLiteral("\r\n");

// Rounds half to even and keeps the result in the range of a 16-bit scroll value.
int toInt16(double value)
{
    const double rounded = std::nearbyint(value);
    return int(qBound<double>(std::numeric_limits<qint16>::min(), rounded,
                              std::numeric_limits<qint16>::max()));
}

// List entries of one height and no width of their own: names longer than the list are
// cut, not scrolled to.
class FixedRowDelegate : public QStyledItemDelegate
{
public:
    FixedRowDelegate(int rowHeight, QObject *parent)
        : QStyledItemDelegate(parent)
        , m_rowHeight(rowHeight)
    {
    }
    QSize sizeHint(const QStyleOptionViewItem &, const QModelIndex &) const override
    {
        return {0, m_rowHeight};
    }

private:
    int m_rowHeight;
};

} // namespace

Form1::Form1(QWidget *parent)
    : QWidget(parent)
    , m_pages(new PageCache(this))
{
    // The rest of a page shown by its top rows may turn out broken while no command waits.
    m_pages->setRestOverHandler([this] { settlePage(); });
    forms::setMessageBoxOwner(this);
    Form_Initialize();
}

Form1::~Form1()
{
    // A panel destroyed without being closed still leaves the hook as it found it.
    if (!m_unloaded)
        Module1::UnhookWindow(hWnd());
    delete m_form2;
    delete m_form3;
}

ws::HWND Form1::hWnd()
{
    return ws::windowHandle(this);
}

QString Form1::stateFilePath()
{
    return forms::joinPath(forms::AppPath(), QLatin1String(StateFileName));
}

Form2 &Form1::form2()
{
    if (!m_form2)
        m_form2 = new Form2(this);
    return *m_form2;
}

Form2 *Form1::form2IfOpen() const
{
    return m_form2;
}

Form3 *Form1::form3IfOpen() const
{
    return m_form3;
}

// ---- Start-up and shutdown -------------------------------------------------------------

void Form1::Form_Initialize()
{
    createControls();
    connect(Command6, &QPushButton::clicked, this, &Form1::Command6_Click);
    connect(Command3, &QPushButton::clicked, this, &Form1::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &Form1::Command4_Click);
    connect(Command7, &QPushButton::clicked, this, &Form1::Command7_Click);
    connect(Command8, &QPushButton::clicked, this, &Form1::Command8_Click);
    connect(Command9, &QPushButton::clicked, this, &Form1::Command9_Click);
    connect(Command10, &QPushButton::clicked, this, &Form1::Command10_Click);
    connect(Command11, &QPushButton::clicked, this, &Form1::Command11_Click);
    // A selection loads a page, not the current row alone: the list makes its first
    // entry current, unselected, when Tab brings the focus into it.
    connect(File1->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &Form1::File1_Click);
    connect(HScroll1, &QScrollBar::valueChanged, this, &Form1::HScroll1_Change);
    connect(VScroll1, &QScrollBar::valueChanged, this, &Form1::VScroll1_Change);
    Text4->installEventFilter(this);
    connect(Text4, &QLineEdit::textEdited, this, [this] {
        m_used = true;
        guessTypedPage();
    });
    HScroll1->installEventFilter(this);
    VScroll1->installEventFilter(this);
    m_pointerRest = new QTimer(this);
    m_pointerRest->setObjectName(QStringLiteral("pointer rest"));
    m_pointerRest->setSingleShot(true);
    m_pointerRest->setInterval(PointerRestMs);
    connect(m_pointerRest, &QTimer::timeout, this, &Form1::guessPointedPage);
    File1->viewport()->setMouseTracking(true);
    File1->viewport()->installEventFilter(this);
    File1->installEventFilter(this);

    Form_Load();
    if (QWindow *window = windowHandle())
        window->installEventFilter(this);

    // Only the name before the first line break: the raw content would carry the line
    // end into the name box and add one more to the state file on every run.
    m_savedState = persist::ReadTextFileContents1(stateFilePath());
    Text4->setText(m_savedState.section(LineBreak, 0, 0));
    cnt = File1->count();

    m_saver = new persist::StateSaver(
        [this](const QString &name, bool written, const forms::Error &error) {
            pageSaved(name, written, error);
        },
        this);
    // Saved once the new page is on the screen, and once for a run of quick steps.
    m_saveTimer = new QTimer(this);
    m_saveTimer->setSingleShot(true);
    m_saveTimer->setInterval(0);
    connect(m_saveTimer, &QTimer::timeout, this, &Form1::savePage);
}

void Form1::Form_Load()
{
    CreateHotkey();
    Module1::HookWindow(hWnd());
    Command3->setText(QStringLiteral("full screen 2"));
    Command4->setText(QStringLiteral("help"));
    describeLayoutButton();

    // Three entries in view, as the list's height allows: one row height for all, given
    // by the delegate (a size hint set on each of 20,000 entries cost a sixth of the
    // start-up).
    File1->setItemDelegate(new FixedRowDelegate(qMax(1, File1->contentsRect().height() / 3), File1));
    File1->setPages(forms::listPages(forms::AppPath()));

    const float widthInPixels =
        float(forms::Screen::Width()) / float(forms::Screen::TwipsPerPixelX());
    setWindowTitle(QLatin1String(HomePageHost) + QStringLiteral(" (Zorvane) size= ")
                   + QString::number(widthInPixels, 'g', 7));
}

void Form1::CreateHotkey()
{
    struct Hotkey {
        int id;
        ws::UINT key;
        const char *name;
    };
    static constexpr Hotkey hotkeys[] = {
        {Module1::HotkeyPrevPage, 'H', "Ctrl+Shift+H"},
        {Module1::HotkeyScrollUp, 'U', "Ctrl+Shift+U"},
        {Module1::HotkeyScrollDown, 'M', "Ctrl+Shift+M"},
        {Module1::HotkeyNextPage, 'K', "Ctrl+Shift+K"},
    };
    for (const Hotkey &hotkey : hotkeys) {
        if (!ws::RegisterHotKey(hWnd(), hotkey.id, ws::MOD_CONTROL | ws::MOD_SHIFT, hotkey.key))
            qCWarning(lcPanel).noquote() << "hotkey" << hotkey.name << "is not available:"
                                         << ws::lastHotKeyError();
    }
}

void Form1::closeEvent(QCloseEvent *event)
{
    // A request to end that comes while the close waits in its message box closes nothing twice.
    if (!m_closing) {
        m_closing = true;
        Form_QueryUnload();
        Form_Unload();
    }
    event->accept();
}

void Form1::Form_QueryUnload()
{
    if (m_form2) {
        m_form2->close();
        delete m_form2;
    }
    if (m_form3) {
        m_form3->close();
        delete m_form3;
    }
}

void Form1::Form_Unload()
{
    m_saveTimer->stop();
    m_saver->finish();
    forms::Error error;
    const QString path = stateFilePath();
    // Opening a folder of someone's scans to look leaves it as it was.
    const bool mereLook = m_openedFolder && !m_used && !QFileInfo::exists(path);
    if (!mereLook && !persist::WriteTextFileContents(Text4->text(), path, false, &error)) {
        // The close goes on; the previous file is still whole. At a logout or a kill
        // nobody can answer a box, and it would keep the process alive.
        const QString text = QStringLiteral("The page name could not be saved to %1.\n%2 (error %3)")
                                 .arg(path, error.description)
                                 .arg(error.number);
        if (termination::requested())
            qCCritical(lcPanel).noquote() << text;
        else
            forms::MsgBox(text, QString());
    }
    Module1::UnhookWindow(hWnd());
    m_unloaded = true;
}

void Form1::savePageLater(const QString &name)
{
    // The name loaded, not what the name box holds when the timer fires: the typist
    // may be typing the next name already.
    m_pageToSave = name;
    m_used = true;
    m_saveTimer->start();
}

void Form1::savePage()
{
    // The page reached survives a crash of the session, a kill or a power cut, not only
    // an orderly close.
    // A page whose rest is still decoding is saved once it is whole (settlePage).
    if (m_pageToSave.isEmpty() || m_pages->pendingRest())
        return;
    const QString name = std::exchange(m_pageToSave, QString());
    if (m_savedState == name + LineBreak)
        return;
    // Counted as written from now on, so that it is not asked for twice; a failure
    // forgets it again.
    m_savedState = name + LineBreak;
    m_saver->save(name, stateFilePath());
}

void Form1::waitForSavesForTesting()
{
    m_saver->waitForWrites();
    QCoreApplication::sendPostedEvents(m_saver, QEvent::MetaCall);
}

void Form1::pageSaved(const QString &name, bool written, const forms::Error &error)
{
    forms::timingMark("saved");
    if (written) {
        m_saveFailure.clear();
        return;
    }
    if (m_savedState == name + LineBreak)
        m_savedState.clear();
    if (error.description != m_saveFailure) {
        // No box in the middle of typing; the close reports it again if it still fails.
        m_saveFailure = error.description;
        qCWarning(lcPanel).noquote() << "the page name could not be saved:" << error.description;
    }
}

void Form1::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_background);
}

// ---- Page list and navigation ------------------------------------------------------------

void Form1::showNotFound(const QString &path)
{
    forms::MsgBox(QStringLiteral("Can't find ") + path
                      + QStringLiteral(" . Please recheck file in folder [") + forms::AppPath()
                      + QStringLiteral("] "),
                  QString());
}

void Form1::Command6_Click()
{
    // A rest already over is settled first; one still decoding is not waited for.
    settlePage(false);
    QString path;
    const auto notFound = [&] { showNotFound(path); };

    const QString text = Text4->text();
    if (text.isEmpty()) {
        notFound();
        return;
    }
    const QString name = text.section(LineBreak, 0, 0);
    Text4->setText(name);
    path = forms::joinPath(forms::AppPath(), name);
    if (name.isEmpty())
        return;

    forms::Error error;
    const QImage picture = m_pages->loadShowing(path, &error, pageView());
    if (picture.isNull()) {
        qCInfo(lcPanel).noquote() << error.description;
        notFound();
        return;
    }
    Form2 &page = form2();
    const std::shared_ptr<forms::PictureRest> rest = m_pages->pendingRest();
    if (rest && rest != m_beforeRest.rest.lock()) {
        // What a failed load would have left on screen, should the rest turn out broken.
        m_beforeRest = {rest, path, page.Image1->size(), page.accessibleName(),
                        Text3, t, m_stepping ? t : File1->currentRow(), page.isVisible()};
    }
    page.Image1->setPicture(picture, rest);
    page.setAccessibleName(QStringLiteral("Page %1").arg(name));
    Text3 = QString::number(page.Image1->height());

    page.setTop(ImageWindowTop);
    page.setLeft(0);
    page.setWidth(forms::Screen::Width());
    if (Command3->text().endsWith(QLatin1Char('2')))
        page.setHeight(forms::Screen::Height() / 2 - HalfScreenMargin);

    ws::SetWindowLongA(page.hWnd(), ws::GWL_EXSTYLE, ws::WS_EX_TRANSPARENT);
    ws::SetWindowPos(page.hWnd(), ws::HWND_TOPMOST, 0, 0, 0, 0, TopmostShowFlags);
    ws::SetWindowPos(hWnd(), ws::HWND_TOPMOST, 0, 0, 0, 0, TopmostShowFlags);
    if (!Command2_Click()) {
        notFound();
        return;
    }
    followLoadedPage(name);
    savePageLater(name);
}

QSize Form1::pageView()
{
    // The page window's width, and its height in the layout it will have, below the scroll
    // position: the rows a new page shows first.
    const double height = Command3->text().endsWith(QLatin1Char('2'))
        ? forms::Screen::Height() / 2 - HalfScreenMargin
        : forms::Screen::Height() - HalfScreenMargin;
    return {int(std::ceil(forms::Screen::Width() / forms::Screen::TwipsPerPixelX())),
            int(std::ceil(height / forms::Screen::TwipsPerPixelY())) + VScroll1->value()};
}

bool Form1::settlePage(bool wait)
{
    QImage picture;
    forms::Error error;
    switch (m_pages->finishRest(&picture, &error, wait)) {
    case PageCache::RestOutcome::Running:
        return false;
    case PageCache::RestOutcome::None:
    case PageCache::RestOutcome::Whole:
        if (!m_pageToSave.isEmpty())
            m_saveTimer->start();
        return false;
    case PageCache::RestOutcome::Replaced:
        form2().Image1->setPicture(picture);
        Text3 = QString::number(form2().Image1->height());
        if (!m_pageToSave.isEmpty())
            m_saveTimer->start();
        return false;
    case PageCache::RestOutcome::Failed:
        m_pageToSave.clear(); // the page is taken back: it was never shown whole
        break;
    }
    // The page is taken back as if its load had failed: the previous page, its height,
    // the current page and the list's selection come back; the name box keeps the name.
    const BeforeRest before = std::exchange(m_beforeRest, {});
    Form2 &page = form2();
    page.Image1->setPicture(picture);
    page.Image1->resize(before.size);
    page.setAccessibleName(before.accessibleName);
    if (!before.shown)
        page.hide();
    Text3 = before.text3;
    // Selecting from code also writes the name box and t: put back what a failed load leaves.
    const QString name = Text4->text();
    if (File1->currentRow() != before.row)
        selectPageFromCode(before.row);
    Text4->setText(name);
    t = before.t;
    qCInfo(lcPanel).noquote() << error.description;
    showNotFound(before.path);
    return true;
}

void Form1::showPage(const QString &name)
{
    Text4->setText(name);
    Command6_Click();
}

void Form1::followLoadedPage(const QString &name)
{
    // The page on screen becomes the current page, so that a step goes on from it.
    for (int i = 0; i < cnt; ++i) {
        if (File1->text(i) == name) {
            t = i;
            selectPageFromCode(i);
            break;
        }
    }
    readAheadNeighbours();
    guessPageDown();
}

void Form1::readAheadNeighbours()
{
    QStringList neighbours;
    for (int i : {t + 1, t - 1}) {
        if (i >= 0 && i < cnt)
            neighbours << forms::joinPath(forms::AppPath(), File1->text(i));
    }
    m_pages->prefetch(neighbours);
}

void Form1::selectPageFromCode(int row)
{
    const bool wasSelecting = m_stepSelecting;
    m_stepSelecting = true;
    File1->setCurrentRow(row);
    m_stepSelecting = wasSelecting;
}

void Form1::Command7_Click()
{
    settlePage(false);
    if (t < cnt - 1) {
        ++t;
        Text4->setText(File1->text(t));
        VScroll1->setValue(0);
        m_stepping = true;
        Command6_Click();
        m_stepping = false;
        selectPageFromCode(t);
    } else {
        forms::MsgBox(QStringLiteral("No more image to preview!"), QStringLiteral("Image Preview"));
    }
}

void Form1::Command8_Click()
{
    settlePage(false);
    if (t <= 0)
        return;
    --t;
    Text4->setText(File1->text(t));
    m_stepping = true;
    Command6_Click();
    m_stepping = false;
    selectPageFromCode(t);
}

void Form1::File1_Click()
{
    // Called as the selection changes, before the current row follows it.
    const QModelIndexList selected = File1->selectionModel()->selectedIndexes();
    if (selected.isEmpty())
        return;
    const int row = selected.constFirst().row();
    // A page taken back now would move the selection: keep the row chosen.
    if (!m_stepSelecting && settlePage(false))
        selectPageFromCode(row);
    Text4->setText(File1->text(row));
    t = row;
    // A step has loaded this page already; loading it again would report a failure twice.
    if (!m_stepSelecting)
        Command6_Click();
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == windowHandle() && event->type() == QEvent::Expose && !m_framedFit
        && windowHandle()->isExposed()) {
        m_framedFit = true;
        fitFrameOnScreen();
        return false;
    }
    if (m_form3 && watched == m_form3->windowHandle() && event->type() == QEvent::Expose
        && m_form3->windowHandle()->isExposed()) {
        // Once: the typist may move it anywhere afterwards.
        m_form3->windowHandle()->removeEventFilter(this);
        const QPoint place = fitOnScreen(m_form3->geometry(), m_form3->windowHandle()->frameMargins(),
                                         forms::Screen::Area());
        if (place != m_form3->geometry().topLeft())
            m_form3->setGeometry(QRect(place, m_form3->size()));
        return false;
    }
    if ((watched == HScroll1 || watched == VScroll1) && event->type() == QEvent::KeyPress) {
        // Keys move the bars as on the desktop this program comes from: right, down and
        // Page Down towards the maximum (Qt's scroll bars invert some of these).
        QAbstractSlider::SliderAction action = QAbstractSlider::SliderNoAction;
        switch (static_cast<QKeyEvent *>(event)->key()) {
        case Qt::Key_Left:
        case Qt::Key_Up:
            action = QAbstractSlider::SliderSingleStepSub;
            break;
        case Qt::Key_Right:
        case Qt::Key_Down:
            action = QAbstractSlider::SliderSingleStepAdd;
            break;
        case Qt::Key_PageUp:
            action = QAbstractSlider::SliderPageStepSub;
            break;
        case Qt::Key_PageDown:
            action = QAbstractSlider::SliderPageStepAdd;
            break;
        case Qt::Key_Home:
            action = QAbstractSlider::SliderToMinimum;
            break;
        case Qt::Key_End:
            action = QAbstractSlider::SliderToMaximum;
            break;
        default:
            break;
        }
        if (action != QAbstractSlider::SliderNoAction) {
            static_cast<QScrollBar *>(watched)->triggerAction(action);
            return true;
        }
    }
    // A click that brings the focus is about to choose an entry itself.
    if (watched == File1 && event->type() == QEvent::FocusIn
        && static_cast<QFocusEvent *>(event)->reason() != Qt::MouseFocusReason)
        guessPageDown();
    if (watched == File1->viewport()) {
        // The wheel moves the entries under a pointer that stays put.
        if (event->type() == QEvent::MouseMove || event->type() == QEvent::Wheel) {
            m_pointed = static_cast<QSinglePointEvent *>(event)->position().toPoint();
            m_pointerRest->start();
        } else if (event->type() == QEvent::Leave) {
            m_pointerRest->stop();
        }
    }
    if (watched == Text4 && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            quint16 keyAscii = 13;
            Text4_KeyPress(keyAscii);
        }
    }
    return QWidget::eventFilter(watched, event);
}

void Form1::Text4_KeyPress(quint16 &KeyAscii)
{
    if (KeyAscii != 13)
        return;
    const QString typed = Text4->text();
    for (int i = 0; i < cnt; ++i) {
        if (File1->text(i).compare(typed, Qt::CaseInsensitive) == 0) {
            File1->setCurrentRow(i);
            break;
        }
    }
}

void Form1::guessTypedPage()
{
    // The page Enter would choose, if no other name matches as well.
    const QString typed = Text4->text();
    int found = -1;
    for (int i = 0; i < cnt; ++i) {
        if (File1->text(i).compare(typed, Qt::CaseInsensitive) != 0)
            continue;
        if (found >= 0) {
            found = -1;
            break;
        }
        found = i;
    }
    m_pages->guess(found < 0 ? QString() : forms::joinPath(forms::AppPath(), File1->text(found)),
                   pageView());
}

void Form1::guessPointedPage()
{
    // The entry a click would choose; the page on screen and pages read ahead need no guess.
    // Resting on the page on screen keeps whatever guess there is.
    const QModelIndex entry = File1->indexAt(m_pointed);
    if (entry.isValid() && entry.row() != File1->currentRow())
        m_pages->guess(forms::joinPath(forms::AppPath(), entry.data().toString()), pageView());
}

void Form1::guessPageDown()
{
    if (File1->currentRow() < 0 || !File1->hasFocus())
        return;
    const QModelIndex entry = File1->pageDownEntry();
    if (entry.isValid())
        m_pages->guess(forms::joinPath(forms::AppPath(), entry.data().toString()), pageView());
}

// ---- Show command, opacity and scrolling -------------------------------------------------

bool Form1::Command2_Click()
{
    Form2 &page = form2();
    qint32 method = 1;
    page.DialogAction(method);
    page.show();
    const bool applied = page.fadeClick();
    keepOwnedWindowsAbove();
    return applied;
}

void Form1::keepOwnedWindowsAbove()
{
    // The page window was just raised (or first shown) over every window: the help
    // window and an open message box belong above it, as owned windows stay above
    // their owner on Windows, or the typist cannot reach them.
    if (m_form3 && m_form3->isVisible())
        m_form3->raise();
    forms::raiseOpenBoxes();
}

void Form1::HScroll1_Change()
{
    Text1 = QString::number(HScroll1->value());
    if (Text4->text().length() > ShowNameMinLength) {
        ws::SetWindowPos(form2().hWnd(), ws::HWND_TOPMOST, 0, 0, 0, 0, TopmostShowFlags);
        ws::SetWindowPos(hWnd(), ws::HWND_TOPMOST, 0, 0, 0, 0, TopmostShowFlags);
        Command2_Click();
    }
}

void Form1::VScroll1_Change()
{
    bool isNumber = false;
    Text3.toDouble(&isNumber);
    // No picture has been loaded yet.
    if (!isNumber)
        return;
    form2().Image1->setTop(-VScroll1->value());
}

int Form1::pageStep()
{
    return toInt16(form2().Height() / forms::Screen::TwipsPerPixelY() - ScrollOverlap);
}

void Form1::Command9_Click()
{
    const int step = pageStep();
    VScroll1->setValue(qBound(0, VScroll1->value() + step, ScrollMax));
}

void Form1::Command10_Click()
{
    const int step = pageStep();
    const int value = VScroll1->value() - step;
    VScroll1->setValue(value < 0 ? 0 : qMin(value, ScrollMax));
}

// ---- Layouts ---------------------------------------------------------------------------

void Form1::Command3_Click()
{
    settlePage();
    if (Text4->text().isEmpty())
        return;
    // The whole text, as it stands: a name that does not load only skips the picture.
    const QString path = forms::joinPath(forms::AppPath(), Text4->text());
    const bool applyHalf = Command3->text().endsWith(QLatin1Char('1'));

    Form2 &page = form2();
    page.setTop(ImageWindowTop);
    page.setLeft(0);
    page.setWidth(forms::Screen::Width());
    const float fullHeight = float(forms::Screen::Height());
    page.setHeight(applyHalf ? fullHeight / 2.0f - float(HalfScreenMargin)
                             : fullHeight - float(HalfScreenMargin));

    const double largeStep = std::nearbyint(page.Height() / forms::Screen::TwipsPerPixelY());
    if (largeStep >= 0 && largeStep <= std::numeric_limits<qint16>::max())
        VScroll1->setPageStep(int(largeStep));

    Command3->setText(applyHalf ? QStringLiteral("Full screen 2") : QStringLiteral("Half screen 1"));
    describeLayoutButton();
    ws::SetWindowLongA(page.hWnd(), ws::GWL_EXSTYLE, ws::WS_EX_TRANSPARENT);

    forms::Error error;
    const QImage picture = m_pages->load(path, &error);
    if (!picture.isNull())
        page.Image1->setPicture(picture);
    else
        qCInfo(lcPanel).noquote() << "layout switch keeps the previous picture:"
                                  << error.description;
    // The neighbours read ahead in part fit the other layout's view.
    m_pages->setView(pageView());
    readAheadNeighbours();

    ws::SetWindowPos(page.hWnd(), ws::HWND_TOPMOST, 0, 0, 0, 0, TopmostShowFlags);
    ws::SetWindowPos(hWnd(), ws::HWND_TOPMOST, 0, 0, 0, 0, TopmostShowFlags);
    Command2_Click();
}

void Form1::describeLayoutButton()
{
    // The caption names the layout in force by its last digit, which a listener cannot guess.
    Command3->setAccessibleDescription(
        Command3->text().endsWith(QLatin1Char('2'))
            ? QStringLiteral("Switches the page window to full-screen height.")
            : QStringLiteral("Switches the page window to half-screen height."));
}

// ---- Help and the private message ------------------------------------------------------

void Form1::Command4_Click()
{
    if (!m_form3) {
        // Owned by the panel, as a dialog is: the window manager keeps it above the panel
        // and the page window, which stay above every ordinary window.
        m_form3 = new Form3(this);
        // Kept on the screen as the panel is, once its frame is known.
        m_form3->winId();
        if (QWindow *window = m_form3->windowHandle())
            window->installEventFilter(this);
    }
    m_form3->show();
    m_form3->raise();
}

void Form1::Command11_Click()
{
    ws::PostMessageA(hWnd(), PanelPrivateMessage, 0, 0);
}
