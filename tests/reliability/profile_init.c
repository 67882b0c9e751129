/* A C program starting the library over a profile file that the JSON reader
   cannot hold (IIDC_VCAM_PROFILE names it): the start succeeds with no
   camera and the one message on stderr, and the program goes on. */
#include <stdio.h>

#include "iidc.h"

int main(void)
{
    if (!iidc_init())
        return 1;
    const int32_t nCameras = iidc_getcameracount();
    iidc_uninit();
    printf("cameras: %d\n", (int)nCameras);
    return nCameras == 0 ? 0 : 1;
}
