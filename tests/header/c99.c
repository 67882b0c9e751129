/* The header in C99, where records are not checked by static assertions but
 * must still compile cleanly. */
#include "iidc.h"

const iidc_waitinfo g_wait_frame = {IIDC_WAIT_FRAME, IIDC_WAIT_INFINITE};
