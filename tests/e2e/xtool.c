/* A small X client that the end-to-end tests drive: it finds windows by
 * name, types with XTest, watches the screen's pixels and takes screenshots.
 *
 * Times are printed as CLOCK_MONOTONIC milliseconds with three decimals, the
 * same clock as Python's time.monotonic(), so that drivers can mix both.
 * Every waiting command gives up after the -t timeout (default 10 s) and
 * exits with status 2; other failures exit with status 1.
 *
 * Usage: xtool [-t TIMEOUT_MS] COMMAND ARGS...
 *   now                          print the monotonic time
 *   find NAME                    wait for a viewable window NAME; print its id
 *   gone NAME                    wait until no viewable window is named NAME
 *   geometry NAME                print "X Y W H" of its client area on the root
 *   focus NAME                   give NAME the keyboard focus
 *   close NAME                   send WM_DELETE_WINDOW to NAME
 *   key CODE down|up             one XTest key event, X keycode
 *   tap CODE [HOLD_MS]           press, hold (default 30 ms), release
 *   wait-ink [X Y W H]           wait for a non-white pixel; print the time
 *   wait-white [X Y W H]         wait until all pixels are white; print the time
 *   shot FILE [X Y W H]          save a binary PPM
 *   ink [X Y W H]                print the ink's bounding box and row bands
 *   steal NAME                   map a small window NAME in the bottom-right
 *                                corner and take the focus; print "ready" and
 *                                keep it until stdin closes
 *   probe X Y W H CODE HOLD_MS   timing probe, see probe() below
 */
#define _GNU_SOURCE
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <errno.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

static Display* dpy;
static Window root;
static int screen_w, screen_h;
static double timeout_ms = 10000.0;

static double now_ms(void) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

static void sleep_ms(double ms) {
    if (ms <= 0) return;
    struct timespec ts = {(time_t)(ms / 1000.0), (long)((ms - (time_t)(ms / 1000.0) * 1000.0) * 1e6)};
    while (nanosleep(&ts, &ts) == -1 && errno == EINTR) {
    }
}

/* Sleeps most of the way, then spins: nanosleep alone overshoots by tens of
 * microseconds to milliseconds, which the timing probe cannot afford. */
static void wait_until(double deadline) {
    double left = deadline - now_ms();
    if (left > 2.0) sleep_ms(left - 1.5);
    while (now_ms() < deadline) {
    }
}

static void fail(int code, const char* what) {
    fprintf(stderr, "xtool: %s\n", what);
    exit(code);
}

static int ignore_errors(Display* d, XErrorEvent* e) {
    (void)d;
    (void)e;
    return 0; /* windows vanish while we walk the tree */
}

/* ---- Windows by name ----------------------------------------------------- */

static int window_has_name(Window w, const char* name) {
    int match = 0;
    char* wm_name = NULL;
    if (XFetchName(dpy, w, &wm_name) && wm_name) {
        match = strcmp(wm_name, name) == 0;
        XFree(wm_name);
        if (match) return 1;
    }
    Atom net_name = XInternAtom(dpy, "_NET_WM_NAME", False);
    Atom utf8 = XInternAtom(dpy, "UTF8_STRING", False);
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = NULL;
    if (XGetWindowProperty(dpy, w, net_name, 0, 1024, False, utf8, &type, &format, &count,
                           &after, &data) == Success && data) {
        match = type == utf8 && strlen(name) == count && memcmp(data, name, count) == 0;
        XFree(data);
    }
    return match;
}

static int is_viewable(Window w) {
    XWindowAttributes a;
    return XGetWindowAttributes(dpy, w, &a) && a.map_state == IsViewable;
}

/* Depth-first, children in stacking order, so the last match is the top-most:
 * an error box named like the main window is found before the window. */
static void search(Window w, const char* name, Window* found) {
    if (window_has_name(w, name) && is_viewable(w)) *found = w;
    Window r, parent, *children = NULL;
    unsigned int n = 0;
    if (!XQueryTree(dpy, w, &r, &parent, &children, &n)) return;
    for (unsigned int i = 0; i < n; i++) search(children[i], name, found);
    if (children) XFree(children);
}

static Window find_now(const char* name) {
    Window found = None;
    search(root, name, &found);
    return found;
}

static Window find_wait(const char* name) {
    double end = now_ms() + timeout_ms;
    for (;;) {
        Window w = find_now(name);
        if (w != None) return w;
        if (now_ms() > end) fail(2, "timed out waiting for the window");
        sleep_ms(10);
    }
}

/* ---- Pixels -------------------------------------------------------------- */

typedef struct {
    int x, y, w, h;
} Rect;

static Rect parse_rect(int argc, char** argv, int at) {
    Rect r = {0, 0, screen_w, screen_h};
    if (argc >= at + 4) {
        r.x = atoi(argv[at]);
        r.y = atoi(argv[at + 1]);
        r.w = atoi(argv[at + 2]);
        r.h = atoi(argv[at + 3]);
    }
    return r;
}

static XImage* grab(Rect r) {
    XImage* img = XGetImage(dpy, root, r.x, r.y, (unsigned)r.w, (unsigned)r.h, AllPlanes, ZPixmap);
    if (!img) fail(1, "XGetImage failed");
    return img;
}

static uint32_t rgb_at(XImage* img, int x, int y) {
    if (img->bits_per_pixel == 32 && img->byte_order == LSBFirst)
        return ((uint32_t*)(img->data + (size_t)y * img->bytes_per_line))[x] & 0xFFFFFF;
    return (uint32_t)XGetPixel(img, x, y) & 0xFFFFFF;
}

static int has_ink(XImage* img) {
    for (int y = 0; y < img->height; y++)
        for (int x = 0; x < img->width; x++)
            if (rgb_at(img, x, y) != 0xFFFFFF) return 1;
    return 0;
}

/* Waits until the region's "has ink" state equals `want`; returns the time
 * at which the grab that saw it was issued. */
static double wait_ink_state(Rect r, int want) {
    double end = now_ms() + timeout_ms;
    for (;;) {
        double t = now_ms();
        XImage* img = grab(r);
        int ink = has_ink(img);
        XDestroyImage(img);
        if (ink == want) return t;
        if (t > end) fail(2, "timed out waiting for pixels");
    }
}

static void save_ppm(const char* path, Rect r) {
    XImage* img = grab(r);
    FILE* f = fopen(path, "wb");
    if (!f) fail(1, "cannot write the screenshot");
    fprintf(f, "P6\n%d %d\n255\n", r.w, r.h);
    for (int y = 0; y < r.h; y++)
        for (int x = 0; x < r.w; x++) {
            uint32_t p = rgb_at(img, x, y);
            unsigned char c[3] = {(unsigned char)(p >> 16), (unsigned char)(p >> 8), (unsigned char)p};
            fwrite(c, 1, 3, f);
        }
    fclose(f);
    XDestroyImage(img);
}

/* Bounding box of all non-white pixels, then every run of rows holding ink
 * as "band Y0 Y1 X0 X1" (inclusive, root coordinates). */
static void print_ink(Rect r) {
    XImage* img = grab(r);
    int bx0 = r.w, by0 = r.h, bx1 = -1, by1 = -1;
    int in_band = 0, band_y0 = 0, band_x0 = 0, band_x1 = 0;
    char bands[65536];
    size_t used = 0;
    bands[0] = 0;
    for (int y = 0; y <= r.h; y++) {
        int rx0 = r.w, rx1 = -1;
        if (y < r.h)
            for (int x = 0; x < r.w; x++)
                if (rgb_at(img, x, y) != 0xFFFFFF) {
                    if (x < rx0) rx0 = x;
                    rx1 = x;
                }
        if (rx1 >= 0) {
            if (!in_band) {
                in_band = 1;
                band_y0 = y;
                band_x0 = rx0;
                band_x1 = rx1;
            }
            if (rx0 < band_x0) band_x0 = rx0;
            if (rx1 > band_x1) band_x1 = rx1;
            if (rx0 < bx0) bx0 = rx0;
            if (rx1 > bx1) bx1 = rx1;
            if (y < by0) by0 = y;
            by1 = y;
        } else if (in_band) {
            in_band = 0;
            if (used < sizeof bands - 64)
                used += (size_t)snprintf(bands + used, sizeof bands - used, "band %d %d %d %d\n",
                                         r.y + band_y0, r.y + y - 1, r.x + band_x0, r.x + band_x1);
        }
    }
    if (bx1 < 0)
        printf("bbox none\n");
    else
        printf("bbox %d %d %d %d\n", r.x + bx0, r.y + by0, r.x + bx1, r.y + by1);
    fputs(bands, stdout);
    XDestroyImage(img);
}

/* ---- Keys and windows ------------------------------------------------------ */

static void key(int code, int down) {
    XTestFakeKeyEvent(dpy, (unsigned)code, down ? True : False, CurrentTime);
    XSync(dpy, False);
}

static void send_delete(Window w) {
    XEvent e;
    memset(&e, 0, sizeof e);
    e.xclient.type = ClientMessage;
    e.xclient.window = w;
    e.xclient.message_type = XInternAtom(dpy, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = (long)XInternAtom(dpy, "WM_DELETE_WINDOW", False);
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(dpy, w, False, NoEventMask, &e);
    XSync(dpy, False);
}

/* Bottom-right corner, clear of a centred 800 x 600 window. */
static void steal(const char* name) {
    Window w = XCreateSimpleWindow(dpy, root, screen_w - 100, screen_h - 60, 100, 60, 0, 0, 0x808080);
    XStoreName(dpy, w, name);
    XSelectInput(dpy, w, StructureNotifyMask | KeyPressMask | KeyReleaseMask);
    XMapRaised(dpy, w);
    for (;;) {
        XEvent e;
        XNextEvent(dpy, &e);
        if (e.type == MapNotify) break;
    }
    XSetInputFocus(dpy, w, RevertToParent, CurrentTime);
    XSync(dpy, False);
    printf("ready\n");
    fflush(stdout);
    char buf[64];
    while (read(0, buf, sizeof buf) > 0) {
    }
    XDestroyWindow(dpy, w);
    XSync(dpy, False);
}

/* The timing probe. For each delay D read from stdin (one per line, in ms):
 * wait until the region is white, wait until ink appears in it (the word),
 * press CODE at D - HOLD_MS after that moment and release it at D. Prints per
 * trial: "trial I WHITE WORD PRESS RELEASE D_ACTUAL GRAB_MS", where WORD is
 * the completion time of the first grab that saw the word, GRAB_MS the
 * duration of that grab (it bounds the detection error) and D_ACTUAL the
 * release issue time minus WORD. */
static void probe(Rect r, int code, double hold) {
    char line[64];
    int trial = 0;
    while (fgets(line, sizeof line, stdin)) {
        double d = atof(line);
        if (d <= 0) continue;
        trial++;
        double white = wait_ink_state(r, 0);
        double word = 0, grab_ms = 0;
        double end = now_ms() + timeout_ms;
        for (;;) {
            double t0 = now_ms();
            XImage* img = grab(r);
            double t1 = now_ms();
            int ink = has_ink(img);
            XDestroyImage(img);
            if (ink) {
                /* The word appeared before this grab read the screen and
                 * after the previous one did: take the middle of this grab,
                 * whose duration bounds the error. */
                word = (t0 + t1) / 2;
                grab_ms = t1 - t0;
                break;
            }
            if (t0 > end) fail(2, "timed out waiting for the word");
            /* Leave the CPU to wordtap and the server between grabs: on two
             * cores a spinning probe delays the very program it measures. */
            sleep_ms(0.1);
        }
        double press_at = word + d - hold, release_at = word + d;
        wait_until(press_at);
        double press = now_ms();
        key(code, 1);
        wait_until(release_at);
        double release = now_ms();
        XTestFakeKeyEvent(dpy, (unsigned)code, False, CurrentTime);
        XFlush(dpy);
        XSync(dpy, False);
        printf("trial %d %.3f %.3f %.3f %.3f %.3f %.3f\n", trial, white, word, press, release,
               release - word, grab_ms);
        fflush(stdout);
    }
}

int main(int argc, char** argv) {
    int at = 1;
    if (argc > 2 && strcmp(argv[1], "-t") == 0) {
        timeout_ms = atof(argv[2]);
        at = 3;
    }
    if (argc <= at) {
        fprintf(stderr, "usage: xtool [-t TIMEOUT_MS] COMMAND ARGS...\n");
        return 1;
    }
    const char* cmd = argv[at];
    argc -= at;
    argv += at;
    if (strcmp(cmd, "now") == 0) {
        printf("%.3f\n", now_ms());
        return 0;
    }
    dpy = XOpenDisplay(NULL);
    if (!dpy) fail(1, "cannot open the display");
    XSetErrorHandler(ignore_errors);
    root = DefaultRootWindow(dpy);
    screen_w = DisplayWidth(dpy, DefaultScreen(dpy));
    screen_h = DisplayHeight(dpy, DefaultScreen(dpy));

    if (strcmp(cmd, "find") == 0 && argc >= 2) {
        printf("0x%lx\n", (unsigned long)find_wait(argv[1]));
    } else if (strcmp(cmd, "gone") == 0 && argc >= 2) {
        double end = now_ms() + timeout_ms;
        while (find_now(argv[1]) != None) {
            if (now_ms() > end) fail(2, "timed out waiting for the window to go");
            sleep_ms(10);
        }
    } else if (strcmp(cmd, "geometry") == 0 && argc >= 2) {
        Window w = find_wait(argv[1]), child;
        XWindowAttributes a;
        int x, y;
        XGetWindowAttributes(dpy, w, &a);
        XTranslateCoordinates(dpy, w, root, 0, 0, &x, &y, &child);
        printf("%d %d %d %d\n", x, y, a.width, a.height);
    } else if (strcmp(cmd, "focus") == 0 && argc >= 2) {
        XSetInputFocus(dpy, find_wait(argv[1]), RevertToParent, CurrentTime);
        XSync(dpy, False);
    } else if (strcmp(cmd, "close") == 0 && argc >= 2) {
        send_delete(find_wait(argv[1]));
    } else if (strcmp(cmd, "key") == 0 && argc >= 3) {
        key(atoi(argv[1]), strcmp(argv[2], "down") == 0);
    } else if (strcmp(cmd, "tap") == 0 && argc >= 2) {
        key(atoi(argv[1]), 1);
        sleep_ms(argc >= 3 ? atof(argv[2]) : 30.0);
        key(atoi(argv[1]), 0);
    } else if (strcmp(cmd, "wait-ink") == 0) {
        printf("%.3f\n", wait_ink_state(parse_rect(argc, argv, 1), 1));
    } else if (strcmp(cmd, "wait-white") == 0) {
        printf("%.3f\n", wait_ink_state(parse_rect(argc, argv, 1), 0));
    } else if (strcmp(cmd, "shot") == 0 && argc >= 2) {
        save_ppm(argv[1], parse_rect(argc, argv, 2));
    } else if (strcmp(cmd, "ink") == 0) {
        print_ink(parse_rect(argc, argv, 1));
    } else if (strcmp(cmd, "steal") == 0 && argc >= 2) {
        steal(argv[1]);
    } else if (strcmp(cmd, "probe") == 0 && argc >= 7) {
        probe(parse_rect(argc, argv, 1), atoi(argv[5]), atof(argv[6]));
    } else {
        fprintf(stderr, "xtool: unknown command or missing arguments: %s\n", cmd);
        return 1;
    }
    XCloseDisplay(dpy);
    return 0;
}
