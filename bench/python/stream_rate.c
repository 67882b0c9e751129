/*
 * Frames per second that reach an application through the C interface from a
 * free-running camera (640 x 480 Mono8 unless told otherwise), taken the way
 * the Python package's
 * stream takes them: lock the newest buffer of a ring of four, wait for the
 * next frame while that is the frame already taken, read the frame's
 * sequence number. stream_rate.py runs this beside the Python loop.
 *
 * Usage: bench_stream_rate [seconds [format mode]]   (camera 0 of the set
 *        that IIDC_VCAM_PROFILE names)
 * Prints: frames per second taken, frames per second the camera delivered,
 * and the sequence number of the last frame taken.
 */
#define _POSIX_C_SOURCE 199309L /* clock_gettime */

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "iidc.h"

static double Now(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

static int Fail(const char *what)
{
    fprintf(stderr, "bench_stream_rate: %s failed (0x%08X)\n", what, (unsigned)iidc_getlasterror(-1));
    return 1;
}

int main(int argc, char **argv)
{
    const double seconds = argc > 1 ? atof(argv[1]) : 3.0;
    const int format = argc > 3 ? atoi(argv[2]) : 0, mode = argc > 3 ? atoi(argv[3]) : 5;
    if (!iidc_init())
        return Fail("starting the library");
    iidc_handle h = iidc_open(0);
    if (!h)
        return Fail("opening camera 0");
    if (!iidc_setformat(h, IIDC_FORMATID(format, mode, 0)) || !iidc_preparecapture(h)
        || iidc_allocframe(h, 4) != 4 || !iidc_capture(h, 1))
        return Fail("starting capture");

    const iidc_waitinfo wait = {IIDC_WAIT_FRAME, 100};
    const unsigned char *last = iidc_lockdata(h, 0);
    iidc_transferinfo first = {0, 0}, end = {0, 0};
    unsigned long frames = 0;
    uint32_t sequence = 0;
    double start = 0.0, now = 0.0;
    for (;;) {
        const unsigned char *newest = iidc_lockdata(h, -1);
        if (!newest)
            return Fail("locking a frame");
        if (newest == last) {
            iidc_wait(h, &wait, 0);
            continue;
        }
        last = newest;
        memcpy(&sequence, newest, sizeof sequence); /* top row first: the library flips Mono8 */
        now = Now();
        if (frames++ == 0) {
            start = now;
            iidc_gettransferinfo(h, &first, sizeof first);
        } else if (now - start >= seconds) {
            break;
        }
    }
    iidc_gettransferinfo(h, &end, sizeof end);
    printf("%.1f %.1f %u\n", (double)(frames - 1) / (now - start),
           (double)(end.framecount - first.framecount) / (now - start), (unsigned)sequence);
    iidc_idle(h);
    iidc_freeframe(h);
    iidc_clearcapture(h);
    iidc_close(h);
    iidc_uninit();
    return 0;
}
