// A small X client that the end-to-end tests and the timing bench drive: it
// finds windows by name, types with XTest, watches the screen's pixels and
// takes screenshots.
//
// Times are printed as CLOCK_MONOTONIC milliseconds with three decimals, the
// same clock as Python's time.monotonic(). Every waiting command gives up
// after the -t timeout (default 10 s) and exits with status 2; other failures
// exit with status 1.
//
// Usage: xtool [-t TIMEOUT_MS] COMMAND ARGS...
//   geometry NAME                print "X Y W H" of its client area on the root
//   focus NAME                   give NAME the keyboard focus
//   close NAME                   send WM_DELETE_WINDOW to NAME
//   tap CODE [HOLD_MS]           press X keycode CODE, hold (default 30 ms), release
//   wait-ink [X Y W H]           wait for a non-white pixel; print the time
//   wait-white [X Y W H]         wait until all pixels are white; print the time
//   shot FILE [X Y W H]          save a binary PPM
//   ink [X Y W H]                print "bbox X0 Y0 X1 Y1" (or "bbox none") of the
//                                non-white pixels, then "band Y0 Y1 X0 X1" for
//                                every run of rows holding them (inclusive)
//   steal NAME                   map a small window NAME in the bottom-right
//                                corner and take the focus; print "ready" and
//                                keep it until stdin closes
//   probe X Y W H CODE HOLD_MS   timing probe, see probe() below
// A window NAME is waited for (viewable, WM_NAME or _NET_WM_NAME equal to NAME).
#define _GNU_SOURCE
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
static double timeout_ms = 10000.0;

typedef struct {
    int x, y, w, h;
} Rect;

static double now_ms(void) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

static void sleep_ms(double ms) {
    struct timespec ts = {(time_t)(ms / 1000.0), (long)((ms - (time_t)(ms / 1000.0) * 1000.0) * 1e6)};
    while (ms > 0 && nanosleep(&ts, &ts) == -1 && errno == EINTR) {
    }
}

// Sleeps most of the way, then spins: nanosleep alone overshoots by tens of
// microseconds to milliseconds, which the timing probe cannot afford.
static void wait_until(double deadline) {
    sleep_ms(deadline - now_ms() - 1.5);
    while (now_ms() < deadline) {
    }
}

static void fail(int code, const char* what) {
    fprintf(stderr, "xtool: %s\n", what);
    exit(code);
}

static void check_time(double end) {
    if (now_ms() > end) fail(2, "timed out");
}

static int ignore_errors(Display* d, XErrorEvent* e) {
    (void)d;
    (void)e;
    return 0; /* windows vanish while we walk the tree */
}

// ---- Windows by name -----------------------------------------------------

static int has_name(Window w, const char* name) {
    char* wm_name = NULL;
    int match = XFetchName(dpy, w, &wm_name) && wm_name && strcmp(wm_name, name) == 0;
    if (wm_name) XFree(wm_name);
    Atom utf8 = XInternAtom(dpy, "UTF8_STRING", False), type;
    int format;
    unsigned long count, after;
    unsigned char* data = NULL;
    if (!match && XGetWindowProperty(dpy, w, XInternAtom(dpy, "_NET_WM_NAME", False), 0, 1024, False, utf8,
                                     &type, &format, &count, &after, &data) == Success && data)
        match = type == utf8 && strlen(name) == count && memcmp(data, name, count) == 0;
    if (data) XFree(data);
    XWindowAttributes a;
    return match && XGetWindowAttributes(dpy, w, &a) && a.map_state == IsViewable;
}

// Depth-first, children in stacking order, so the last match is the top-most:
// an error box named like the main window is found before the window.
static void search(Window w, const char* name, Window* found) {
    if (has_name(w, name)) *found = w;
    Window r, parent, *children = NULL;
    unsigned int n = 0;
    if (!XQueryTree(dpy, w, &r, &parent, &children, &n)) return;
    for (unsigned int i = 0; i < n; i++) search(children[i], name, found);
    if (children) XFree(children);
}

static Window find(const char* name) {
    double end = now_ms() + timeout_ms;
    for (Window w = None;; sleep_ms(10)) {
        search(root, name, &w);
        if (w != None) return w;
        check_time(end);
    }
}

// ---- Pixels --------------------------------------------------------------

static Rect parse_rect(int argc, char** argv, int at) {
    Rect r = {0, 0, DisplayWidth(dpy, 0), DisplayHeight(dpy, 0)};
    if (argc >= at + 4) r = (Rect){atoi(argv[at]), atoi(argv[at + 1]), atoi(argv[at + 2]), atoi(argv[at + 3])};
    return r;
}

static XImage* grab(Rect r) {
    XImage* img = XGetImage(dpy, root, r.x, r.y, (unsigned)r.w, (unsigned)r.h, AllPlanes, ZPixmap);
    if (!img) fail(1, "XGetImage failed");
    return img;
}

static uint32_t rgb_at(XImage* img, int x, int y) {
    if (img->bits_per_pixel == 32 && img->byte_order == LSBFirst) /* Xvfb's: skip a call per pixel */
        return ((uint32_t*)(img->data + (size_t)y * img->bytes_per_line))[x] & 0xFFFFFF;
    return (uint32_t)XGetPixel(img, x, y) & 0xFFFFFF;
}

// Grabs the region and tells whether it holds ink; *took is the grab's time.
static int has_ink(Rect r, double* at, double* took) {
    double t0 = now_ms();
    XImage* img = grab(r);
    if (at) *at = t0;
    if (took) *took = now_ms() - t0;
    int ink = 0;
    for (int y = 0; y < img->height && !ink; y++)
        for (int x = 0; x < img->width && !ink; x++) ink = rgb_at(img, x, y) != 0xFFFFFF;
    XDestroyImage(img);
    return ink;
}

// Waits until the region's "has ink" state equals `want`; returns the time
// at which the grab that saw it was issued.
static double wait_ink_state(Rect r, int want) {
    double end = now_ms() + timeout_ms, at;
    while (has_ink(r, &at, NULL) != want) check_time(end);
    return at;
}

static void save_ppm(const char* path, Rect r) {
    XImage* img = grab(r);
    FILE* f = fopen(path, "wb");
    if (!f) fail(1, "cannot write the screenshot");
    fprintf(f, "P6\n%d %d\n255\n", r.w, r.h);
    for (int y = 0; y < r.h; y++)
        for (int x = 0; x < r.w; x++) {
            uint32_t p = rgb_at(img, x, y);
            fputc((int)(p >> 16), f);
            fputc((int)(p >> 8) & 0xFF, f);
            fputc((int)p & 0xFF, f);
        }
    fclose(f);
    XDestroyImage(img);
}

static void print_ink(Rect r) {
    XImage* img = grab(r);
    int bx0 = r.w, by0 = -1, bx1 = -1, by1 = -1, band_y0 = -1, band_x0 = r.w, band_x1 = -1;
    char bands[65536] = "";
    for (int y = 0; y <= r.h; y++) {
        int rx0 = r.w, rx1 = -1;
        for (int x = 0; y < r.h && x < r.w; x++)
            if (rgb_at(img, x, y) != 0xFFFFFF) {
                if (rx1 < 0) rx0 = x;
                rx1 = x;
            }
        if (rx1 >= 0) {
            if (band_y0 < 0) band_y0 = y;
            band_x0 = rx0 < band_x0 ? rx0 : band_x0;
            band_x1 = rx1 > band_x1 ? rx1 : band_x1;
            bx0 = rx0 < bx0 ? rx0 : bx0;
            bx1 = rx1 > bx1 ? rx1 : bx1;
            if (by0 < 0) by0 = y;
            by1 = y;
        } else if (band_y0 >= 0 && strlen(bands) < sizeof bands - 64) {
            snprintf(bands + strlen(bands), sizeof bands - strlen(bands), "band %d %d %d %d\n", r.y + band_y0,
                     r.y + y - 1, r.x + band_x0, r.x + band_x1);
            band_y0 = band_x1 = -1;
            band_x0 = r.w;
        }
    }
    if (bx1 < 0)
        printf("bbox none\n");
    else
        printf("bbox %d %d %d %d\n%s", r.x + bx0, r.y + by0, r.x + bx1, r.y + by1, bands);
    XDestroyImage(img);
}

// ---- Keys and windows ------------------------------------------------------

static void key(int code, int down) {
    XTestFakeKeyEvent(dpy, (unsigned)code, down ? True : False, CurrentTime);
    XSync(dpy, False);
}

static void send_delete(Window w) {
    XEvent e = {.xclient = {.type = ClientMessage, .window = w, .format = 32}};
    e.xclient.message_type = XInternAtom(dpy, "WM_PROTOCOLS", False);
    e.xclient.data.l[0] = (long)XInternAtom(dpy, "WM_DELETE_WINDOW", False);
    XSendEvent(dpy, w, False, NoEventMask, &e);
    XSync(dpy, False);
}

// Bottom-right corner, clear of a centred 800 x 600 window.
static void steal(const char* name) {
    Window w = XCreateSimpleWindow(dpy, root, DisplayWidth(dpy, 0) - 100, DisplayHeight(dpy, 0) - 60, 100, 60,
                                   0, 0, 0x808080);
    XStoreName(dpy, w, name);
    XSelectInput(dpy, w, StructureNotifyMask | KeyPressMask | KeyReleaseMask);
    XMapRaised(dpy, w);
    for (XEvent e; XNextEvent(dpy, &e), e.type != MapNotify;) {
    }
    XSetInputFocus(dpy, w, RevertToParent, CurrentTime);
    XSync(dpy, False);
    printf("ready\n");
    fflush(stdout);
    char buf[64];
    while (read(0, buf, sizeof buf) > 0) {
    }
}

// The timing probe. For each delay D read from stdin (one per line, in ms):
// wait until the region is white, wait until ink appears in it (the word),
// press CODE at D - HOLD_MS after that moment and release it at D. Prints per
// trial: "trial I WHITE WORD PRESS RELEASE D_ACTUAL GRAB_MS", where WORD is
// the middle of the first grab that saw the word (it appeared after the
// previous grab read the screen), GRAB_MS the duration of that grab (it bounds
// the detection error) and D_ACTUAL the release issue time minus WORD.
static void probe(Rect r, int code, double hold) {
    char line[64];
    for (int trial = 1; fgets(line, sizeof line, stdin); trial++) {
        double d = atof(line), white = wait_ink_state(r, 0), end = now_ms() + timeout_ms, at, took;
        // Leave the CPU to wordtap and the server between grabs: on two cores
        // a spinning probe delays the very program it measures.
        while (!has_ink(r, &at, &took)) {
            check_time(end);
            sleep_ms(0.1);
        }
        double word = at + took / 2;
        wait_until(word + d - hold);
        double press = now_ms();
        key(code, 1);
        wait_until(word + d);
        double release = now_ms();
        key(code, 0);
        printf("trial %d %.3f %.3f %.3f %.3f %.3f %.3f\n", trial, white, word, press, release, release - word,
               took);
        fflush(stdout);
    }
}

int main(int argc, char** argv) {
    int at = 1;
    if (argc > 2 && strcmp(argv[1], "-t") == 0) {
        timeout_ms = atof(argv[2]);
        at = 3;
    }
    argc -= at;
    argv += at;
    if (argc < 1 || !(dpy = XOpenDisplay(NULL))) fail(1, "usage: xtool [-t TIMEOUT_MS] COMMAND ARGS...");
    XSetErrorHandler(ignore_errors);
    root = DefaultRootWindow(dpy);
    const char* cmd = argv[0];
    if (strcmp(cmd, "geometry") == 0 && argc >= 2) {
        Window w = find(argv[1]), child;
        XWindowAttributes a;
        int x, y;
        XGetWindowAttributes(dpy, w, &a);
        XTranslateCoordinates(dpy, w, root, 0, 0, &x, &y, &child);
        printf("%d %d %d %d\n", x, y, a.width, a.height);
    } else if (strcmp(cmd, "focus") == 0 && argc >= 2) {
        XSetInputFocus(dpy, find(argv[1]), RevertToParent, CurrentTime);
        XSync(dpy, False);
    } else if (strcmp(cmd, "close") == 0 && argc >= 2) {
        send_delete(find(argv[1]));
    } else if (strcmp(cmd, "tap") == 0 && argc >= 2) {
        key(atoi(argv[1]), 1);
        sleep_ms(argc >= 3 ? atof(argv[2]) : 30.0);
        key(atoi(argv[1]), 0);
    } else if (strcmp(cmd, "wait-ink") == 0 || strcmp(cmd, "wait-white") == 0) {
        printf("%.3f\n", wait_ink_state(parse_rect(argc, argv, 1), strcmp(cmd, "wait-ink") == 0));
    } else if (strcmp(cmd, "shot") == 0 && argc >= 2) {
        save_ppm(argv[1], parse_rect(argc, argv, 2));
    } else if (strcmp(cmd, "ink") == 0) {
        print_ink(parse_rect(argc, argv, 1));
    } else if (strcmp(cmd, "steal") == 0 && argc >= 2) {
        steal(argv[1]);
    } else if (strcmp(cmd, "probe") == 0 && argc >= 7) {
        probe(parse_rect(argc, argv, 1), atoi(argv[5]), atof(argv[6]));
    } else {
        fail(1, "unknown command or missing arguments");
    }
    XCloseDisplay(dpy);
    return 0;
}
