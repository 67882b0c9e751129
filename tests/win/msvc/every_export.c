/*
 * A program as Microsoft's tools build one: clang in its Microsoft mode,
 * lld-link, iidc.lib and no C runtime. It refers to every export, so each
 * must resolve to the name the DLL exports, and lists the cameras a line
 * each: index, vendor, model, unique id. Exit status 0 when there is one.
 */
#include "iidc.h"

/* Every export, so that each must resolve (the link keeps it: /opt:noref). */
const void *const g_exports[] = {
    iidc_init, iidc_uninit, iidc_getcameracount, iidc_getlasterror, iidc_handletoindex, iidc_getcapability,
    iidc_getbustype, iidc_open, iidc_close, iidc1394_asyncreadquadlet, iidc1394_asyncwritequadlet,
    iidc_getformatcount, iidc_getformatidlist, iidc_getformatinfo, iidc_currentformat, iidc_setformat,
    iidc_getframerateinfo, iidc_currentframerate, iidc_setframerate, iidc_getareainfo, iidc_currentarea,
    iidc_setarea, iidc_currentdataframebytes, iidc_gettransferinfo, iidc1394_currentisotransmissioninfo,
    iidc_currentfeatureinfo, iidc_currentfeature, iidc_setfeature, iidc_getstring, iidc_allocframe,
    iidc_freeframe, iidc_attachbuffer, iidc_releasebuffer, iidc_getframecount, iidc_preparecapture,
    iidc_capture, iidc_idle, iidc_clearcapture, iidc_getstatus, iidc_wait, iidc_waitabort, iidc_lockdata,
    iidc_unlockdata, iidc_getbits, iidc_getbitslutrange, iidc_setbitslutrange, iidc_lockbits,
    iidc_unlockbits, iidc_setimagetowindow};

static void Write(const char *pszText, int32_t cbText)
{
    DWORD cbWritten;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), pszText, (DWORD)cbText, &cbWritten, 0);
}

void __cdecl Start(void)
{
    static const uint32_t IDS[3] = {IIDC_STRING_VENDOR, IIDC_STRING_MODEL, IIDC_STRING_UNIQUEID};
    char text[64];
    int32_t nCount, i, n, cbText;
    iidc_init();
    nCount = iidc_getcameracount();
    for (i = 0; i < nCount; ++i) {
        text[0] = (char)('0' + i);
        Write(text, 1);
        for (n = 0; n < 3; ++n) {
            cbText = iidc_getstring(i, IDS[n], text, (int32_t)sizeof text);
            while (cbText > 0 && !text[cbText - 1]) /* the ROM pads its texts with zeros */
                --cbText;
            Write(" ", 1);
            Write(text, cbText);
        }
        Write("\n", 1);
    }
    iidc_uninit();
    ExitProcess(nCount > 0 ? 0 : 1);
}
