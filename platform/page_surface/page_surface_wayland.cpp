// The page window shown through a wlr layer surface, on a Wayland connection of the
// program's own beside Qt's X11 one. The window itself stays a Qt widget that is never
// mapped: it is painted into the surface's shared-memory buffer whenever it changes.

#include "platform/page_surface/page_surface.h"
#include "platform/page_surface/page_surface_p.h"

#include <wayland-client.h>
#include "wlr-layer-shell-unstable-v1-client-protocol.h"

#include <QDir>
#include <QEvent>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace page_surface {
namespace {

// Version 1 has all this needs: size, anchor, margins, no exclusive zone, no keyboard.
constexpr uint32_t LayerShellVersion = 1;
// Version 3 takes the buffer's scale.
constexpr uint32_t CompositorVersion = 3;
// Version 2 tells the output's scale.
constexpr uint32_t OutputVersion = 2;
// Buffers the compositor may still read while the next one is drawn.
constexpr size_t MaxBuffers = 3;

const char *const HintText =
    "Clicks on the page may not reach the program below it on this desktop, and it may "
    "take the focus (see \"man zorvane\").";

struct Output {
    wl_output *output = nullptr;
    QPoint position;
    QSize modeSize;
    int scale = 1;
};

struct Buffer {
    wl_buffer *buffer = nullptr;
    uchar *data = nullptr;
    size_t bytes = 0;
    QSize size;
    bool busy = false;
};

void tellOnce(const QString &why)
{
    // The runtime folder lives as long as the user's login session.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty()) {
        QFile marker(QDir(runtime).filePath(QStringLiteral("zorvane-page-hint")));
        if (marker.exists())
            return;
        [[maybe_unused]] const bool written = marker.open(QIODevice::WriteOnly);
    }
    std::fprintf(stderr, "zorvane: the page is shown as an Xwayland window: %s. %s\n",
                 qPrintable(why), HintText);
}

class Surface : public QObject
{
public:
    Surface(QWidget *window, wl_display *display);
    ~Surface() override;

    // Connects and looks for what the surface needs; empty when all is there.
    QString start();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    static const wl_registry_listener registryListener;
    static const wl_output_listener outputListener;
    static const zwlr_layer_surface_v1_listener layerSurfaceListener;
    static const wl_buffer_listener bufferListener;

    void onReadable();
    void refresh();
    void unmap();
    void draw();
    Buffer *freeBuffer(const QSize &size);
    const Output *outputFor(const QRect &geometry, QRect *screenGeometry) const;
    bool flush();
    void lose(const QString &why);
    void watch(QObject *object);

    QPointer<QWidget> m_window;
    wl_display *m_display;
    wl_registry *m_registry = nullptr;
    wl_compositor *m_compositor = nullptr;
    wl_shm *m_shm = nullptr;
    zwlr_layer_shell_v1 *m_layerShell = nullptr;
    std::vector<std::unique_ptr<Output>> m_outputs;
    std::vector<std::unique_ptr<Buffer>> m_buffers;

    wl_surface *m_surface = nullptr;
    zwlr_layer_surface_v1 *m_layerSurface = nullptr;
    const Output *m_output = nullptr;
    bool m_configured = false;
    QRect m_placed; // the margins and size last given to the compositor
    int m_scale = 1;

    QSocketNotifier *m_notifier = nullptr;
    QTimer m_pending;
    QMetaObject::Connection m_opacity;
    bool m_lost = false;
    bool m_drawing = false;
    // The window's own painting, kept between draws: a new one each time wrote a whole
    // window of fresh memory (33 MB at 4K).
    QImage m_painted;
};

const wl_registry_listener Surface::registryListener = {
    [](void *data, wl_registry *registry, uint32_t name, const char *interface, uint32_t version) {
        auto *self = static_cast<Surface *>(data);
        if (std::strcmp(interface, wl_compositor_interface.name) == 0 && version >= CompositorVersion) {
            self->m_compositor = static_cast<wl_compositor *>(
                wl_registry_bind(registry, name, &wl_compositor_interface, CompositorVersion));
        } else if (std::strcmp(interface, wl_shm_interface.name) == 0) {
            self->m_shm = static_cast<wl_shm *>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
        } else if (std::strcmp(interface, zwlr_layer_shell_v1_interface.name) == 0) {
            self->m_layerShell = static_cast<zwlr_layer_shell_v1 *>(wl_registry_bind(
                registry, name, &zwlr_layer_shell_v1_interface, LayerShellVersion));
        } else if (std::strcmp(interface, wl_output_interface.name) == 0 && version >= OutputVersion) {
            auto output = std::make_unique<Output>();
            output->output = static_cast<wl_output *>(
                wl_registry_bind(registry, name, &wl_output_interface, OutputVersion));
            wl_output_add_listener(output->output, &outputListener, output.get());
            self->m_outputs.push_back(std::move(output));
        }
    },
    // An output unplugged while the page is up: the compositor moves or closes the
    // surface itself, and a closed surface ends in the X11 window.
    [](void *, wl_registry *, uint32_t) {},
};

const wl_output_listener Surface::outputListener = {
    [](void *data, wl_output *, int32_t x, int32_t y, int32_t, int32_t, int32_t, const char *,
       const char *, int32_t) { static_cast<Output *>(data)->position = QPoint(x, y); },
    [](void *data, wl_output *, uint32_t flags, int32_t width, int32_t height, int32_t) {
        if (flags & WL_OUTPUT_MODE_CURRENT)
            static_cast<Output *>(data)->modeSize = QSize(width, height);
    },
    [](void *, wl_output *) {},
    [](void *data, wl_output *, int32_t factor) { static_cast<Output *>(data)->scale = qMax(1, factor); },
    [](void *, wl_output *, const char *) {},
    [](void *, wl_output *, const char *) {},
};

const zwlr_layer_surface_v1_listener Surface::layerSurfaceListener = {
    [](void *data, zwlr_layer_surface_v1 *layerSurface, uint32_t serial, uint32_t, uint32_t) {
        auto *self = static_cast<Surface *>(data);
        zwlr_layer_surface_v1_ack_configure(layerSurface, serial);
        if (!std::exchange(self->m_configured, true))
            self->m_pending.start();
    },
    [](void *data, zwlr_layer_surface_v1 *) {
        // Deferred: the surface's objects are still in use inside this dispatch.
        auto *self = static_cast<Surface *>(data);
        QTimer::singleShot(0, self, [self] { self->lose(QStringLiteral("the compositor closed the page's layer surface")); });
    },
};

const wl_buffer_listener Surface::bufferListener = {
    [](void *data, wl_buffer *) { static_cast<Buffer *>(data)->busy = false; },
};

Surface::Surface(QWidget *window, wl_display *display)
    : QObject(window), m_window(window), m_display(display)
{
    // Changes come in bursts (a page load moves, resizes and repaints): one frame for all.
    m_pending.setSingleShot(true);
    m_pending.setInterval(0);
    connect(&m_pending, &QTimer::timeout, this, &Surface::refresh);
}

Surface::~Surface()
{
    if (m_lost)
        return;
    unmap();
    for (const auto &buffer : m_buffers) {
        wl_buffer_destroy(buffer->buffer);
        munmap(buffer->data, buffer->bytes);
    }
    // The connection's objects go with it.
    wl_display_disconnect(m_display);
}

QString Surface::start()
{
    m_registry = wl_display_get_registry(m_display);
    wl_registry_add_listener(m_registry, &registryListener, this);
    // One round for the globals, one for the outputs' descriptions.
    if (wl_display_roundtrip(m_display) < 0 || wl_display_roundtrip(m_display) < 0)
        return QStringLiteral("the Wayland connection failed");
    if (!m_layerShell)
        return QStringLiteral("the compositor offers no layer shell (zwlr_layer_shell_v1)");
    if (!m_compositor || !m_shm || m_outputs.empty())
        return QStringLiteral("the compositor offers no surfaces, shared memory or outputs");

    m_notifier = new QSocketNotifier(wl_display_get_fd(m_display), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &Surface::onReadable);
    m_window->setAttribute(Qt::WA_DontShowOnScreen);
    watch(m_window);
    return {};
}

void Surface::watch(QObject *object)
{
    object->installEventFilter(this);
    for (QObject *child : object->children())
        if (child->isWidgetType())
            watch(child);
}

bool Surface::eventFilter(QObject *watched, QEvent *event)
{
    // The paint events of our own rendering ask for nothing new.
    if (m_drawing)
        return false;
    switch (event->type()) {
    case QEvent::Show:
        // The opacity lives on the native window, which exists by the first show.
        if (watched == m_window && !m_opacity && m_window->windowHandle())
            m_opacity = connect(m_window->windowHandle(), &QWindow::opacityChanged, &m_pending,
                                qOverload<>(&QTimer::start));
        m_pending.start();
        break;
    case QEvent::ChildAdded:
        if (auto *child = static_cast<QChildEvent *>(event)->child(); child->isWidgetType())
            watch(child);
        break;
    case QEvent::Hide:
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::Paint:
    case QEvent::UpdateRequest:
    case QEvent::ZOrderChange:
        m_pending.start();
        break;
    default:
        break;
    }
    return false;
}

void Surface::onReadable()
{
    // Reads what is there without waiting (a plain dispatch could block the GUI thread
    // on a wake-up with nothing to read), then handles it.
    while (wl_display_prepare_read(m_display) != 0)
        wl_display_dispatch_pending(m_display);
    if (wl_display_read_events(m_display) < 0 || wl_display_dispatch_pending(m_display) < 0)
        lose(QStringLiteral("the Wayland connection was lost"));
}

bool Surface::flush()
{
    if (wl_display_flush(m_display) < 0 && errno != EAGAIN) {
        lose(QStringLiteral("the Wayland connection was lost"));
        return false;
    }
    return true;
}

const Output *Surface::outputFor(const QRect &geometry, QRect *screenGeometry) const
{
    // The X screen the window is on, and the output at the same place of the desktop.
    const QScreen *screen = QGuiApplication::screenAt(geometry.topLeft());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    *screenGeometry = screen ? screen->geometry() : QRect();
    for (const auto &output : m_outputs)
        if (output->position == screenGeometry->topLeft())
            return output.get();
    return m_outputs.front().get();
}

void Surface::refresh()
{
    if (m_lost || !m_window)
        return;
    if (!m_window->isVisible()) {
        unmap();
        flush();
        return;
    }
    QRect screen;
    const Output *output = outputFor(m_window->geometry(), &screen);
    const QRect placed(m_window->geometry().topLeft() - screen.topLeft(), m_window->size());
    if (m_layerSurface && output != m_output)
        unmap(); // a layer surface stays on the output it was made for
    if (!m_layerSurface) {
        m_output = output;
        m_surface = wl_compositor_create_surface(m_compositor);
        // An empty input region: every click goes to what lies below.
        wl_region *nothing = wl_compositor_create_region(m_compositor);
        wl_surface_set_input_region(m_surface, nothing);
        wl_region_destroy(nothing);
        m_layerSurface = zwlr_layer_shell_v1_get_layer_surface(
            m_layerShell, m_surface, output->output, ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY,
            "zorvane-page");
        zwlr_layer_surface_v1_add_listener(m_layerSurface, &layerSurfaceListener, this);
        zwlr_layer_surface_v1_set_anchor(m_layerSurface, ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP
                                                             | ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT);
        zwlr_layer_surface_v1_set_exclusive_zone(m_layerSurface, 0);
        zwlr_layer_surface_v1_set_keyboard_interactivity(m_layerSurface, 0);
        m_placed = QRect();
    }
    if (placed != m_placed) {
        m_placed = placed;
        zwlr_layer_surface_v1_set_size(m_layerSurface, uint32_t(placed.width()),
                                       uint32_t(placed.height()));
        zwlr_layer_surface_v1_set_margin(m_layerSurface, placed.top(), 0, 0, placed.left());
    }
    if (m_configured)
        draw();
    else
        wl_surface_commit(m_surface); // asks for the first configure; no buffer before it
    flush();
}

void Surface::unmap()
{
    if (m_layerSurface)
        zwlr_layer_surface_v1_destroy(m_layerSurface);
    if (m_surface)
        wl_surface_destroy(m_surface);
    m_layerSurface = nullptr;
    m_surface = nullptr;
    m_configured = false;
}

Buffer *Surface::freeBuffer(const QSize &size)
{
    for (const auto &buffer : m_buffers)
        if (!buffer->busy && buffer->size == size)
            return buffer.get();
    // Buffers of another size are of no more use once the compositor let go of them.
    m_buffers.erase(std::remove_if(m_buffers.begin(), m_buffers.end(),
                                   [](const std::unique_ptr<Buffer> &buffer) {
                                       if (buffer->busy)
                                           return false;
                                       wl_buffer_destroy(buffer->buffer);
                                       munmap(buffer->data, buffer->bytes);
                                       return true;
                                   }),
                    m_buffers.end());
    if (m_buffers.size() >= MaxBuffers)
        return nullptr;
    const int stride = size.width() * 4;
    auto buffer = std::make_unique<Buffer>();
    buffer->size = size;
    buffer->bytes = size_t(stride) * size_t(size.height());
    const int fd = memfd_create("zorvane-page", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, off_t(buffer->bytes)) != 0) {
        if (fd >= 0)
            close(fd);
        return nullptr;
    }
    void *data = mmap(nullptr, buffer->bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (data == MAP_FAILED) {
        close(fd);
        return nullptr;
    }
    buffer->data = static_cast<uchar *>(data);
    wl_shm_pool *pool = wl_shm_create_pool(m_shm, fd, int32_t(buffer->bytes));
    buffer->buffer = wl_shm_pool_create_buffer(pool, 0, size.width(), size.height(), stride,
                                               WL_SHM_FORMAT_ARGB8888);
    wl_shm_pool_destroy(pool);
    close(fd);
    wl_buffer_add_listener(buffer->buffer, &bufferListener, buffer.get());
    m_buffers.push_back(std::move(buffer));
    return m_buffers.back().get();
}

void Surface::draw()
{
    m_scale = m_output ? m_output->scale : 1;
    const QSize pixels = m_window->size() * m_scale;
    Buffer *buffer = freeBuffer(pixels);
    if (!buffer) {
        // The compositor still holds every buffer: draw when it gives one back.
        QTimer::singleShot(16, this, [this] { m_pending.start(); });
        return;
    }
    // The window's own painting, once, at the output's scale so that the page is sharp.
    if (m_painted.size() != pixels)
        m_painted = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
    QImage &picture = m_painted;
    picture.setDevicePixelRatio(m_scale);
    picture.fill(Qt::transparent);
    m_drawing = true;
    m_window->render(&picture);
    m_drawing = false;

    // ARGB8888 in the compositor's terms is this format on little-endian machines.
    QImage target(buffer->data, pixels.width(), pixels.height(), pixels.width() * 4,
                  QImage::Format_ARGB32_Premultiplied);
    target.fill(Qt::transparent);
    QPainter painter(&target);
    painter.setOpacity(m_window->windowOpacity());
    painter.drawImage(0, 0, picture);
    painter.end();

    wl_surface_set_buffer_scale(m_surface, m_scale);
    wl_surface_attach(m_surface, buffer->buffer, 0, 0);
    wl_surface_damage(m_surface, 0, 0, INT32_MAX, INT32_MAX);
    wl_surface_commit(m_surface);
    buffer->busy = true;
}

void Surface::lose(const QString &why)
{
    if (std::exchange(m_lost, true))
        return;
    delete m_notifier;
    m_notifier = nullptr;
    m_pending.stop();
    m_painted = QImage();
    disconnect(m_opacity);
    // Whatever the compositor still holds goes with the connection.
    for (const auto &buffer : m_buffers)
        munmap(buffer->data, buffer->bytes);
    m_buffers.clear();
    wl_display_disconnect(m_display);
    tellOnce(why);

    QWidget *window = m_window;
    if (!window)
        return;
    window->removeEventFilter(this);
    const bool shown = window->isVisible();
    if (shown)
        window->hide();
    window->setAttribute(Qt::WA_DontShowOnScreen, false);
    if (shown)
        window->show();
    deleteLater();
}

} // namespace

void attach(QWidget *window)
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return;
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        x11::attach(window);
        return;
    }
    wl_display *display = wl_display_connect(nullptr);
    if (!display) {
        tellOnce(QStringLiteral("no connection to the Wayland display \"%1\"")
                     .arg(qEnvironmentVariable("WAYLAND_DISPLAY")));
        return;
    }
    auto *surface = new Surface(window, display);
    const QString missing = surface->start();
    if (missing.isEmpty())
        return;
    delete surface;
    // GNOME has no layer shell: there the GNOME Shell extension looks after the page
    // window, and the extension's own check tells the user what is missing.
    if (!qEnvironmentVariable("XDG_CURRENT_DESKTOP").contains(QLatin1String("GNOME")))
        tellOnce(missing);
}

} // namespace page_surface
