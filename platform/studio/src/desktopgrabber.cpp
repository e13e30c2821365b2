#include "desktopgrabber.h"

#include <studio/screengrabber.h>

#include <mutex>

#include <framekit/framekit.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <cstring>

struct DesktopGrabber::X11 {
    Display* display = nullptr;
    Window root = 0;
    bool shm = false;
    XShmSegmentInfo segment {};
    XImage* image = nullptr; // the shared image, sized as the screen when it was made
    bool attached = false;

    void dropImage()
    {
        if (attached)
            XShmDetach(display, &segment);
        if (image)
            XDestroyImage(image); // the shared memory is not the image's own: shmdt below
        if (segment.shmaddr && segment.shmaddr != reinterpret_cast<char*>(-1))
            shmdt(segment.shmaddr);
        image = nullptr;
        attached = false;
        segment = XShmSegmentInfo {};
    }

    ~X11()
    {
        if (!display)
            return;
        dropImage();
        XCloseDisplay(display);
    }

    bool makeShared(int width, int height)
    {
        dropImage();
        const int screen = DefaultScreen(display);
        image = XShmCreateImage(display, DefaultVisual(display, screen), unsigned(DefaultDepth(display, screen)),
            ZPixmap, nullptr, &segment, unsigned(width), unsigned(height));
        if (!image)
            return false;
        segment.shmid = shmget(IPC_PRIVATE, size_t(image->bytes_per_line) * image->height, IPC_CREAT | 0600);
        if (segment.shmid < 0) {
            dropImage();
            return false;
        }
        segment.shmaddr = image->data = static_cast<char*>(shmat(segment.shmid, nullptr, 0));
        // Marked for removal now: the segment goes when both sides have detached, even after a crash.
        shmctl(segment.shmid, IPC_RMID, nullptr);
        if (segment.shmaddr == reinterpret_cast<char*>(-1)) {
            image->data = nullptr;
            dropImage();
            return false;
        }
        segment.readOnly = False;
        attached = XShmAttach(display, &segment);
        XSync(display, False);
        return attached;
    }
};

namespace {

// X errors (a window gone, shared memory refused) must not end the program, as Xlib's default handler does.
int ignoreXError(Display*, XErrorEvent*) { return 0; }

} // namespace

DesktopGrabber::DesktopGrabber() = default;
DesktopGrabber::~DesktopGrabber() = default;

void DesktopGrabber::fail(const char* why)
{
    if (!m_failed)
        fk_log(FK_LOG_WARNING, "studio: the desktop cannot be captured (%s); desktop sources stay black", why);
    m_failed = true;
    m_x.reset();
}

namespace {

std::mutex g_grabberMutex;
studio::ScreenGrabber g_grabber;

studio::ScreenGrabber installedGrabber()
{
    std::lock_guard lock(g_grabberMutex);
    return g_grabber;
}

} // namespace

void studio::setScreenGrabber(ScreenGrabber grabber)
{
    std::lock_guard lock(g_grabberMutex);
    g_grabber = std::move(grabber);
}

bool DesktopGrabber::grab(DesktopPicture& picture)
{
    if (!m_installedChecked) {
        m_installed = installedGrabber();
        m_installedChecked = true;
    }
    if (m_installed)
        return m_installed(picture);
    if (m_failed)
        return false;
    if (!m_x) {
        XInitThreads();
        auto x = std::make_unique<X11>();
        x->display = XOpenDisplay(nullptr);
        if (!x->display) {
            fail("no X display");
            return false;
        }
        XSetErrorHandler(ignoreXError);
        x->root = DefaultRootWindow(x->display);
        x->shm = XShmQueryExtension(x->display);
        m_x = std::move(x);
    }
    XWindowAttributes attributes {};
    if (!XGetWindowAttributes(m_x->display, m_x->root, &attributes) || attributes.width <= 0
        || attributes.height <= 0) {
        fail("the screen cannot be read");
        return false;
    }
    const int width = attributes.width;
    const int height = attributes.height;
    XImage* image = nullptr;
    bool own = false;
    if (m_x->shm) {
        if ((!m_x->image || m_x->image->width != width || m_x->image->height != height)
            && !m_x->makeShared(width, height)) {
            m_x->dropImage();
            m_x->shm = false;
        }
        if (m_x->shm && XShmGetImage(m_x->display, m_x->root, m_x->image, 0, 0, AllPlanes))
            image = m_x->image;
    }
    if (!image) {
        image = XGetImage(m_x->display, m_x->root, 0, 0, unsigned(width), unsigned(height), AllPlanes, ZPixmap);
        own = image != nullptr;
    }
    if (!image) {
        fail("the screen image cannot be read");
        return false;
    }
    if (image->bits_per_pixel != 32 || image->byte_order != LSBFirst) {
        if (own)
            XDestroyImage(image);
        fail("the screen is not 32 bits a pixel");
        return false;
    }
    picture.width = width;
    picture.height = height;
    picture.stride = width * 4;
    picture.bgra.resize(size_t(picture.stride) * height);
    // The fourth byte is undefined in X's pictures; the scene's conversion ignores it.
    for (int row = 0; row < height; ++row)
        std::memcpy(picture.bgra.data() + size_t(row) * picture.stride,
            image->data + size_t(row) * image->bytes_per_line, size_t(picture.stride));
    if (own)
        XDestroyImage(image);
    return true;
}
