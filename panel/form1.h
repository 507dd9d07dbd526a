#pragma once
// The control panel: the program's main window. It lists the pages of the program's
// folder, loads and steps them, sets the page window's opacity, scrolls the page and
// switches the page window between its two layouts.

#include "panel/page_list.h"
#include "platform/window_system/window_system.h"

#include <QImage>
#include <QPoint>
#include <QPointer>
#include <QSize>
#include <QString>
#include <QWidget>

#include <memory>

class QLineEdit;
class QPushButton;
class QScrollBar;
class QTimer;
class Form2;
class Form3;
class PageCache;
namespace forms {
class PictureRest;
struct Error;
}
namespace persist {
class StateSaver;
}

class Form1 : public QWidget
{
    Q_OBJECT

public:
    // Creates the window and its controls and runs the start-up steps; the caller shows it.
    explicit Form1(QWidget *parent = nullptr);
    ~Form1() override;

    // The home-page host at the head of the window title.
    static constexpr const char *HomePageHost = "www.zorvane.org";
    static constexpr const char *StateFileName = "current.txt";

    // Tests: the decoded pages, to tell how a page was come by.
    PageCache &pageCacheForTesting() { return *m_pages; }
    // Until the state file's writes asked for so far are done and reported.
    void waitForSavesForTesting();

    // Public operations: the hook and the other windows run them.
    void Command3_Click();   // layout switch
    void Command7_Click();   // next page
    void Command8_Click();   // previous page
    void Command9_Click();   // scroll down one page
    void Command10_Click();  // scroll up one page
    void CreateHotkey();
    // Loads and shows the page `name` of the page folder as a load by name does.
    void showPage(const QString &name);
    // The page folder is one the user opened (an argument or the chooser), not the
    // program's own: a close after a mere look creates no current.txt there.
    void setOpenedFolder(bool opened) { m_openedFolder = opened; }

    // Index of the current page in File1, and the number of pages at start-up.
    qint32 t = 0;
    qint32 cnt = 0;

    // Controls, reached by name from the other windows and the hook.
    PageList *File1 = nullptr;
    QLineEdit *Text4 = nullptr;
    QPushButton *Command6 = nullptr;
    QScrollBar *HScroll1 = nullptr;
    QPushButton *Command3 = nullptr;
    QPushButton *Command4 = nullptr;
    QScrollBar *VScroll1 = nullptr;
    QPushButton *Command7 = nullptr;
    QPushButton *Command8 = nullptr;
    QPushButton *Command9 = nullptr;
    QPushButton *Command10 = nullptr;
    QPushButton *Command11 = nullptr;

    // Hidden value holders: the opacity level and the height of the last picture.
    QString Text1 = QStringLiteral("100");
    QString Text3 = QStringLiteral("Text3");

    ws::HWND hWnd();

    // The page window, created hidden on first reference.
    Form2 &form2();
    Form2 *form2IfOpen() const;
    Form3 *form3IfOpen() const;

    // Where a window's client area goes so that its frame lies inside `screen` (all in
    // desktop pixels): moved left / up just enough, never past the left / top edge;
    // unchanged where it fits.
    static QPoint fitOnScreen(const QRect &client, const QMargins &frame, const QRect &screen);

    // Path of the state file in the program's folder.
    static QString stateFilePath();

protected:
    void closeEvent(QCloseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createControls();
    void Form_Initialize();
    void Form_Load();
    void Form_QueryUnload();
    void Form_Unload();

    bool Command2_Click();  // show command; false when a step failed
    void Command4_Click();
    void Command6_Click();
    void Command11_Click();
    void File1_Click();
    void Text4_KeyPress(quint16 &KeyAscii);
    // A name typed in full, of one page: its part in view is decoded before Enter.
    void guessTypedPage();
    // Likewise the page of the list entry the pointer rests on, before a click.
    void guessPointedPage();
    // And, while the list has the focus, the page of the entry Page Down would select.
    void guessPageDown();
    void HScroll1_Change();
    void VScroll1_Change();

    int pageStep();
    void describeLayoutButton();
    void keepOwnedWindowsAbove();
    // Once the window manager has framed the panel: every control stays reachable.
    void fitFrameOnScreen();
    void savePageLater(const QString &name);
    void savePage();
    void pageSaved(const QString &name, bool written, const forms::Error &error);
    void selectPageFromCode(int row);
    void followLoadedPage(const QString &name);
    void readAheadNeighbours();
    void showNotFound(const QString &path);
    QSize pageView();
    // Waits for the rest of the page on screen (unless `wait` is false: a rest still
    // decoding is then left to a new load, which drops it); true when it was taken back.
    bool settlePage(bool wait = true);

    QPixmap m_background;
    QPointer<Form2> m_form2;
    QPointer<Form3> m_form3;
    PageCache *m_pages = nullptr;
    // Set while a step selects its page in the list: the step has loaded it already.
    bool m_stepSelecting = false;
    // Set while a step shows its page: the step selects the page even if it fails.
    bool m_stepping = false;
    // What the page window and the panel showed before a page whose rest is still decoding.
    struct BeforeRest {
        std::weak_ptr<forms::PictureRest> rest;  // whose failure takes the page back
        QString path;
        QSize size;
        QString accessibleName;
        QString text3;
        qint32 t = 0;
        int row = -1;
        bool shown = false;
    } m_beforeRest;
    bool m_closing = false;
    bool m_unloaded = false;
    bool m_framedFit = false;
    bool m_openedFolder = false;
    // A page was shown, or the user typed in the name box: the close saves the name.
    bool m_used = false;
    // The state file's content as last read or written, so that an unchanged name is
    // not written again; and the last failure reported, so that it is not repeated.
    QString m_savedState;
    QString m_pageToSave;
    QString m_saveFailure;
    QTimer *m_saveTimer = nullptr;
    persist::StateSaver *m_saver = nullptr;
    QTimer *m_pointerRest = nullptr;
    QPoint m_pointed;  // in the list's viewport
};
