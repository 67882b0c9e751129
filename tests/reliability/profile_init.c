/* A C program starting the library over a profile file that the JSON reader
   cannot hold (IIDC_VCAM_PROFILE names it): the start finds no camera (and so
   reports failure), the one message is on stderr, and the program goes on. */
#include <stdio.h>

#include "iidc.h"

int main(void)
{
    const int bStarted = iidc_init();
    const int32_t nCameras = iidc_getcameracount();
    iidc_uninit();
    printf("started: %d, cameras: %d\n", bStarted, (int)nCameras);
    return nCameras == 0 ? 0 : 1;
}
