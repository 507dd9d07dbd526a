// The page window on X11 painted through one shared-memory image of its own. Qt gives a
// window a fresh image each time its size changes, and a layout switch doubles or halves
// the page window: the first touch of every fresh page of memory, by the program and again
// by the X server, is what made a switch to the full layout take 100 ms at 1080p and
// 350 ms at 4K on a virtual machine, against 2-7 ms for a step. This image is made once,
// as large as the screen, and keeps its memory from size to size.

#include "platform/page_surface/page_surface_p.h"
#include "platform/forms/forms.h"
#include "platform/window_system/x11_p.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QImage>
#include <QPaintEvent>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <xcb/shm.h>
#include <xcb/xcb.h>

#include <sys/ipc.h>
#include <sys/mman.h>
#include <sys/shm.h>

#include <algorithm>
#include <cstdlib>

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23  // Linux 5.14; older headers lack the name
#endif

namespace page_surface::x11 {
namespace {

// The pixels of a 24-bit window in a 32-bit little-endian word: Qt's RGB32 as it is.
bool rgb32Fits(xcb_connection_t *c, xcb_window_t window)
{
    const XcbPtr<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr));
    const xcb_setup_t *setup = xcb_get_setup(c);
    if (!geometry || geometry->depth != 24 || setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST)
        return false;
    xcb_format_iterator_t format = xcb_setup_pixmap_formats_iterator(setup);
    for (; format.rem; xcb_format_next(&format)) {
        if (format.data->depth == 24)
            return format.data->bits_per_pixel == 32;
    }
    return false;
}

class SharedPainting : public QObject
{
public:
    SharedPainting(QWidget *window, xcb_connection_t *c)
        : QObject(window), m_window(window), m_connection(c)
    {}

    ~SharedPainting() override
    {
        if (m_segment)
            xcb_shm_detach(m_connection, m_segment);
        if (m_gc)
            xcb_free_gc(m_connection, m_gc);
        if (m_scratch)
            xcb_free_pixmap(m_connection, m_scratch);
        if (m_memory)
            shmdt(m_memory);
    }

    // Takes a shared image of this size in place of the one held; false (and the one held
    // kept) if the X server will not share it.
    bool start(const QSize &size)
    {
        const int id = shmget(IPC_PRIVATE, size_t(size.width()) * size.height() * 4, IPC_CREAT | 0600);
        if (id < 0)
            return false;
        void *memory = shmat(id, nullptr, 0);
        const xcb_shm_seg_t segment = xcb_generate_id(m_connection);
        xcb_generic_error_t *error = memory == reinterpret_cast<void *>(-1)
            ? nullptr
            : xcb_request_check(m_connection, xcb_shm_attach_checked(m_connection, segment, id, false));
        // Gone with the last detach, the X server's or ours, even if the program is killed.
        shmctl(id, IPC_RMID, nullptr);
        if (memory == reinterpret_cast<void *>(-1))
            return false;
        if (error) {
            std::free(error);
            shmdt(memory);
            return false;
        }
        if (m_memory) {
            waitForTheLastPut();
            xcb_shm_detach(m_connection, m_segment);
            shmdt(m_memory);
        }
        m_memory = memory;
        m_segment = segment;
        m_image = QImage(static_cast<uchar *>(memory), size.width(), size.height(), QImage::Format_RGB32);
        m_paintedSize = QSize();
        // All pages at once: ten times faster here than a fault for each at the first paint.
        madvise(memory, size_t(m_image.sizeInBytes()), MADV_POPULATE_WRITE);
        m_warmedRows = 0;
        return true;
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::UpdateRequest:
            // Qt keeps no painting of children that paint on screen: the whole window is
            // painted afresh, a copy of what is on it. Qt's own handling still clears its
            // record of what was dirty.
            if (!m_takingRequests)
                paint();
            return false;
        case QEvent::Expose:
            // Shown again, or a part of it: the image may predate the show.
            if (watched == m_window->windowHandle() && m_window->windowHandle()->isExposed())
                paint();
            return false;
        case QEvent::Paint:
            // Grown, uncovered or moved back into place, the window is asked to repaint
            // what the X server lost: Qt turns that expose of a window already shown into a
            // paint event of the window itself.
            if (watched == m_window->windowHandle()) {
                // The image holds the window as last painted: what was lost is put again,
                // unless the window has changed size since.
                if (m_window->size() != m_paintedSize) {
                    paint();
                } else {
                    for (const QRect &lost : static_cast<QPaintEvent *>(event)->region())
                        put(lost);
                }
                return true;
            }
            // Painted through render() only; on screen the widgets have nothing to paint into.
            return !m_rendering;
        default:
            return false;
        }
    }

private:
    void paint()
    {
        QWindow *handle = m_window->windowHandle();
        if (!m_image.rect().contains(m_window->rect()))
            start(m_image.size().expandedTo(m_window->size()));  // a larger screen since
        const QRect area = m_window->rect() & m_image.rect();
        if (!handle || area.isEmpty() || !m_window->isVisible())
            return;
        // The whole window is painted now: what its widgets have asked to have painted so
        // far is taken with it. Each widget asks once until its request is handled, so a
        // request still queued would otherwise paint the same pixels again (the window's
        // new size after the page already painted at it, on a layout switch).
        m_takingRequests = true;
        QCoreApplication::sendPostedEvents(m_window, QEvent::UpdateRequest);
        for (QWidget *child : m_window->findChildren<QWidget *>())
            QCoreApplication::sendPostedEvents(child, QEvent::UpdateRequest);
        m_takingRequests = false;
        waitForTheLastPut();
        m_rendering = true;
        m_window->render(&m_image, area.topLeft(), QRegion(area),
                         QWidget::DrawWindowBackground | QWidget::DrawChildren);
        m_rendering = false;
        m_paintedSize = m_window->size();
        put(m_window->rect());
    }

    void waitForTheLastPut()
    {
        if (!m_putPending)
            return;
        // The X server reads the image when it handles the put; once it answers a later
        // request, the image is free to paint into.
        std::free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
        m_putPending = false;
    }

    void put(const QRect &part)
    {
        QWindow *handle = m_window->windowHandle();
        const QRect area = part & m_window->rect() & m_image.rect();
        if (!handle || area.isEmpty() || !m_window->isVisible())
            return;
        const auto window = xcb_window_t(handle->winId());
        if (!m_gc) {
            m_gc = xcb_generate_id(m_connection);
            const uint32_t noExposures = 0;
            xcb_create_gc(m_connection, m_gc, window, XCB_GC_GRAPHICS_EXPOSURES, &noExposures);
        }
        xcb_shm_put_image(m_connection, window, m_gc, uint16_t(m_image.width()), uint16_t(m_image.height()),
                          int16_t(area.x()), int16_t(area.y()), uint16_t(area.width()),
                          uint16_t(area.height()), int16_t(area.x()), int16_t(area.y()), 24,
                          XCB_IMAGE_FORMAT_Z_PIXMAP, 0, m_segment, 0);
        xcb_flush(m_connection);
        m_putPending = true;
        forms::timingMark("flushed");
        if (m_warmedRows == 0 && !m_scratch) {
            m_scratch = xcb_generate_id(m_connection);
            xcb_create_pixmap(m_connection, 24, m_scratch, window, 1, WarmRows);
            QTimer::singleShot(0, this, &SharedPainting::warmUp);
        }
    }

    // The first touch of each page of the image, by this program and by the X server,
    // costs a fault each: on a virtual machine the first switch to the full layout took
    // 80 ms at 1080p and 140 ms at 4K more than the next. So the rows below the window are
    // touched once while the typist reads the first page, a band at a time between events.
    void warmUp()
    {
        const int first = m_warmedRows;
        const int last = std::min(first + int(WarmRows), m_image.height());
        const size_t stride = size_t(m_image.bytesPerLine());
        auto *const bytes = static_cast<volatile uchar *>(m_memory);
        for (size_t at = first * stride; at < last * stride; at += PageBytes)
            bytes[at] = bytes[at];  // a write of what is there: no pixel changes
        // One pixel in each page's width of a row is enough for the X server to touch it.
        for (int x = 0; x < m_image.width(); x += int(PageBytes / 4)) {
            xcb_shm_put_image(m_connection, m_scratch, m_gc, uint16_t(m_image.width()),
                              uint16_t(m_image.height()), int16_t(x), int16_t(first), 1,
                              uint16_t(last - first), 0, 0, 24, XCB_IMAGE_FORMAT_Z_PIXMAP, 0, m_segment, 0);
        }
        xcb_flush(m_connection);
        m_putPending = true;
        m_warmedRows = last;
        if (last < m_image.height()) {
            QTimer::singleShot(0, this, &SharedPainting::warmUp);
        } else {
            xcb_free_pixmap(m_connection, m_scratch);
            m_scratch = 0;
        }
    }

    QWidget *m_window;
    xcb_connection_t *m_connection;
    xcb_shm_seg_t m_segment = 0;
    xcb_gcontext_t m_gc = 0;
    void *m_memory = nullptr;
    QImage m_image;
    bool m_rendering = false;
    bool m_takingRequests = false;
    bool m_putPending = false;
    static constexpr uint16_t WarmRows = 64;
    static constexpr size_t PageBytes = 4096;
    int m_warmedRows = 0;
    QSize m_paintedSize;  // the window's size when the image was last painted
    xcb_pixmap_t m_scratch = 0;
};

} // namespace

void attach(QWidget *window)
{
    xcb_connection_t *c = ws::native::x11Connection();
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!c || !screen || screen->devicePixelRatio() != 1.0 || !qEnvironmentVariableIsEmpty("ZORVANE_QT_PAINTING"))
        return;
    const xcb_query_extension_reply_t *shm = xcb_get_extension_data(c, &xcb_shm_id);
    if (!shm || !shm->present || !rgb32Fits(c, xcb_window_t(window->winId())))
        return;
    // As large as any place the panel puts the window: the screen's width, and its height
    // (the full layout reaches below the screen by less than its top margin).
    auto *painting = new SharedPainting(window, c);
    if (!painting->start(screen->size())) {
        delete painting;
        return;
    }
    window->setAttribute(Qt::WA_PaintOnScreen);
    window->installEventFilter(painting);
    for (QWidget *child : window->findChildren<QWidget *>())
        child->installEventFilter(painting);
    window->windowHandle()->installEventFilter(painting);
}

} // namespace page_surface::x11
