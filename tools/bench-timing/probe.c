// The timing bench's participant: watches a strip of the X screen for each
// word and lets a key go exactly D ms after the word appeared. In C because
// a release issued a fraction of a millisecond late is the error measured.
//
// Usage: probe X Y W H KEYCODE HOLD_MS PID   (delays D in ms on stdin, one a line)
// For each D: wait until the strip is white, then until ink appears in it
// (the word), press KEYCODE at D - HOLD_MS after that moment and release it
// at D. Prints per trial
//   trial I WHITE WORD PRESS RELEASE D_ACTUAL GRAB_MS CPU_MS SPAN_MS
// times as CLOCK_MONOTONIC milliseconds (Python's time.monotonic() * 1000):
// WORD is the middle of the first grab that saw the word, GRAB_MS that grab's
// duration (it bounds the detection error), D_ACTUAL the release's issue
// time minus WORD, and CPU_MS the processor time that process PID (all its
// threads) used during the SPAN_MS from the word's detection to just before
// the release. Gives up after 20 s without a change on the screen (exit 2).
//
// probe taps X Y W H KEYCODE   (lines "DELAY HOLD" in ms on stdin)
// Taps the key DELAY ms after each word appeared, held HOLD ms; HOLD 0 sends
// the press and the release in one request. A tap counts once the strip
// turns white within 3 s; otherwise it was lost and the key is tapped again
// (held 50 ms) until it counts. Prints per trial
//   tap I WORD PRESS RELEASE HOLD TRIES
// with TRIES 1 for a tap counted at once.
#define _GNU_SOURCE
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <dirent.h>
#include <errno.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static const double TimeoutMs = 20000.0;

static Display* dpy;

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

// Sleeps most of the way, then spins: nanosleep alone overshoots by tens of
// microseconds to milliseconds.
static void wait_until(double deadline) {
    sleep_ms(deadline - now_ms() - 1.5);
    while (now_ms() < deadline) {
    }
}

static void fail(int code, const char* what) {
    fprintf(stderr, "probe: %s\n", what);
    exit(code);
}

// Processor time in ms of every thread of `pid`, by the scheduler's own
// nanosecond count.
static double cpu_ms(int pid) {
    char path[64];
    snprintf(path, sizeof path, "/proc/%d/task", pid);
    DIR* tasks = opendir(path);
    if (!tasks) return 0;
    double total = 0;
    for (struct dirent* t; (t = readdir(tasks));) {
        if (t->d_name[0] == '.') continue;
        char stat[320];
        snprintf(stat, sizeof stat, "/proc/%d/task/%s/schedstat", pid, t->d_name);
        FILE* f = fopen(stat, "r");
        unsigned long long ns = 0;
        if (f && fscanf(f, "%llu", &ns) == 1) total += ns / 1e6;
        if (f) fclose(f);
    }
    closedir(tasks);
    return total;
}

// Grabs the strip and tells whether it holds ink; *at is when the grab was
// issued, *took how long it took.
static int has_ink(int x, int y, int w, int h, double* at, double* took) {
    *at = now_ms();
    XImage* img = XGetImage(dpy, DefaultRootWindow(dpy), x, y, (unsigned)w, (unsigned)h, AllPlanes, ZPixmap);
    *took = now_ms() - *at;
    if (!img) fail(1, "XGetImage failed");
    // Xvfb's 32-bit pixels are read directly: a call per pixel would stretch
    // the time between two grabs, which bounds the detection error.
    const int direct = img->bits_per_pixel == 32 && img->byte_order == LSBFirst;
    int ink = 0;
    for (int row = 0; row < h && !ink; row++) {
        const uint32_t* pixels = (const uint32_t*)(img->data + (size_t)row * img->bytes_per_line);
        for (int col = 0; col < w && !ink; col++)
            ink = ((direct ? pixels[col] : (uint32_t)XGetPixel(img, col, row)) & 0xFFFFFF) != 0xFFFFFF;
    }
    XDestroyImage(img);
    return ink;
}

static void key(int code, int down) {
    XTestFakeKeyEvent(dpy, (unsigned)code, down ? True : False, CurrentTime);
    XSync(dpy, False);
}

static void wait_for_strip(int x, int y, int w, int h, int ink) {
    double at, took;
    const double end = now_ms() + TimeoutMs;
    while (has_ink(x, y, w, h, &at, &took) != ink) {
        if (now_ms() > end) fail(2, ink ? "timed out waiting for the word" : "timed out waiting for a white strip");
        sleep_ms(0.1);
    }
}

static int answered_within(int x, int y, int w, int h, double ms) {
    double at, took;
    for (const double end = now_ms() + ms; now_ms() < end; sleep_ms(0.5))
        if (!has_ink(x, y, w, h, &at, &took)) return 1;
    return 0;
}

static int taps(int x, int y, int w, int h, int code) {
    char line[64];
    for (int trial = 1; fgets(line, sizeof line, stdin); trial++) {
        double delay = 0, hold = 0;
        if (sscanf(line, "%lf %lf", &delay, &hold) != 2) fail(1, "taps want DELAY HOLD lines");
        wait_for_strip(x, y, w, h, 0);
        wait_for_strip(x, y, w, h, 1);
        const double word = now_ms();
        wait_until(word + delay);
        const double press = now_ms();
        XTestFakeKeyEvent(dpy, (unsigned)code, True, CurrentTime);
        if (hold > 0) {
            XSync(dpy, False);
            wait_until(press + hold);
        }
        const double release = now_ms();
        XTestFakeKeyEvent(dpy, (unsigned)code, False, CurrentTime);
        XSync(dpy, False);
        int tries = 1;
        for (; !answered_within(x, y, w, h, 3000.0); tries++) {
            if (tries == 5) fail(2, "a word was not answered after five taps");
            key(code, 1);
            sleep_ms(50);
            key(code, 0);
        }
        printf("tap %d %.3f %.3f %.3f %.3f %d\n", trial, word, press, release, hold, tries);
        fflush(stdout);
    }
    return 0;
}

int main(int argc, char** argv) {
    if (argc == 7 && strcmp(argv[1], "taps") == 0 && (dpy = XOpenDisplay(NULL)))
        return taps(atoi(argv[2]), atoi(argv[3]), atoi(argv[4]), atoi(argv[5]), atoi(argv[6]));
    if (argc != 8 || !(dpy = XOpenDisplay(NULL))) fail(1, "usage: probe X Y W H KEYCODE HOLD_MS PID");
    const int x = atoi(argv[1]), y = atoi(argv[2]), w = atoi(argv[3]), h = atoi(argv[4]);
    const int code = atoi(argv[5]), pid = atoi(argv[7]);
    const double hold = atof(argv[6]);
    char line[64];
    for (int trial = 1; fgets(line, sizeof line, stdin); trial++) {
        const double d = atof(line);
        double at, took, end = now_ms() + TimeoutMs;
        while (has_ink(x, y, w, h, &at, &took))
            if (now_ms() > end) fail(2, "timed out waiting for a white strip");
        const double white = at;
        // Leave the processor to wordtap and the server between grabs: on
        // two cores a spinning probe delays the very program it measures.
        for (end = now_ms() + TimeoutMs; !has_ink(x, y, w, h, &at, &took); sleep_ms(0.1))
            if (now_ms() > end) fail(2, "timed out waiting for the word");
        const double word = at + took / 2, cpu0 = cpu_ms(pid), span0 = now_ms();
        wait_until(word + d - hold);
        const double press = now_ms();
        key(code, 1);
        wait_until(word + d - 0.3);
        const double cpu1 = cpu_ms(pid), span1 = now_ms();
        wait_until(word + d);
        const double release = now_ms();
        key(code, 0);
        printf("trial %d %.3f %.3f %.3f %.3f %.3f %.3f %.3f %.3f\n", trial, white, word, press, release,
               release - word, took, cpu1 - cpu0, span1 - span0);
        fflush(stdout);
    }
    XCloseDisplay(dpy);
    return 0;
}
