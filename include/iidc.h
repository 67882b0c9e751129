/*
 * iidc.h - access library for IIDC 1394 digital cameras.
 *
 * One flat C interface of 49 functions. An application starts the library
 * (iidc_init), opens a camera by its index (iidc_open), chooses a format,
 * frame rate and image area, prepares capture, puts a ring of frame buffers in
 * place, captures, waits for frames and reads them raw or as 24-bit colour
 * images, or shows live video in a window of its own, and finally closes the
 * camera and ends the library (iidc_uninit).
 *
 * Results and errors. No function throws. A function reports failure by its
 * result (false, 0, 0.0, -1 or a null pointer) and records a 32-bit error code
 * (IIDC_ERR_*) in the global error slot and, where the camera is known, in that
 * camera's own slot; iidc_getlasterror reads the slots. A success never clears
 * a slot. A handle that is not an open camera is recorded in the global slot
 * only. Should any function meet a failure inside the library that none of
 * its own codes describes (memory running out where it is not checked for, an
 * exception in the platform's code), it returns its failure value and records
 * IIDC_ERR_NO_MEMORY or IIDC_ERR_FAIL; the library stays usable.
 *
 * Camera states. An open camera is in one of four capture states
 * (IIDC_STATE_*):
 *   4 opened    -> iidc_preparecapture ->        3 prepared
 *   3 prepared  -> iidc_allocframe / iidc_attachbuffer / iidc_setimagetowindow
 *                                                -> 2 ready
 *   2 ready     -> iidc_capture (continuous) ->  1 capturing
 *   1 capturing -> iidc_idle ->                  2 ready
 *   2 ready     -> iidc_freeframe / iidc_releasebuffer -> 3 prepared
 *   any but 1   -> iidc_clearcapture, and format, frame-rate or area changes
 *                                                -> 4 opened
 *
 * Threads. The library starts no thread and takes no lock: an application
 * serialises its calls on one camera. iidc_init initialises COM on its calling
 * thread only; every other function is called on that thread or on a thread on
 * which the application has initialised COM itself. The exceptions are
 * iidc_wait, which blocks its calling thread, and iidc_waitabort, which another
 * thread calls to end such a wait. Frames are delivered on a thread of the
 * platform while capture runs.
 *
 * Calling conventions. On 32-bit Windows 43 functions use the standard
 * convention (IIDC_API, __stdcall: the callee removes the arguments) and six
 * use the C convention (IIDC_CAPI, __cdecl): iidc_getbits, iidc_getbustype,
 * iidc_setimagetowindow, iidc1394_asyncreadquadlet,
 * iidc1394_asyncwritequadlet and iidc1394_currentisotransmissioninfo.
 * Elsewhere both are the platform's only convention.
 */
#ifndef IIDC_H
#define IIDC_H

#include <stdint.h>

#if defined(_WIN32)
#include <windows.h>
#endif

/* ------------------------------------------------------------------------ */
/* Calling conventions and linkage                                          */
/* ------------------------------------------------------------------------ */

#if defined(_WIN32) && !defined(_WIN64)
#define IIDC_API __stdcall
#define IIDC_CAPI __cdecl
#else
#define IIDC_API
#define IIDC_CAPI
#endif

/* The DLL takes its export names from a module-definition file, so the
 * library build (IIDC_BUILDING) needs no decoration; applications import. */
#if defined(_WIN32)
#if defined(IIDC_BUILDING)
#define IIDC_EXPORT
#else
#define IIDC_EXPORT __declspec(dllimport)
#endif
#elif defined(__GNUC__)
#define IIDC_EXPORT __attribute__((visibility("default")))
#else
#define IIDC_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ------------------------------------------------------------------------ */
/* Basic types                                                              */
/* ------------------------------------------------------------------------ */

/** One-byte boolean of the interface: 0 is false, 1 is true. */
typedef unsigned char iidc_bool;
#define IIDC_FALSE 0
#define IIDC_TRUE 1

/** An open camera, from iidc_open to iidc_close. Opaque and pointer-sized. */
typedef struct iidc_camera *iidc_handle;

/** A kernel event of the platform (a Windows HANDLE). */
typedef void *iidc_event;

/** The owner window of a live display: a HWND on Windows, an X11 Window id
 * elsewhere. */
#if defined(_WIN32)
typedef HWND iidc_window;
#else
typedef unsigned long iidc_window;
#endif

/* ------------------------------------------------------------------------ */
/* Error codes (iidc_getlasterror)                                          */
/* ------------------------------------------------------------------------ */

/** The operation is not allowed while capture runs. */
#define IIDC_ERR_CAPTURING 0x80000101u
/** A wait was ended by iidc_waitabort (camera slot only). */
#define IIDC_ERR_WAIT_ABORTED 0x80000102u
/** There are no frame buffers, or a capture cannot be carried out. */
#define IIDC_ERR_NO_FRAMES 0x80000103u
/** Frame buffers can only be set up right after iidc_preparecapture. */
#define IIDC_ERR_NOT_PREPARED 0x80000104u
/** The capture graph can only be prepared in IIDC_STATE_OPENED. */
#define IIDC_ERR_ALREADY_PREPARED 0x80000105u
/** The operation needs a running capture. */
#define IIDC_ERR_NOT_CAPTURING 0x80000106u
/** The camera index is already open. */
#define IIDC_ERR_ALREADY_OPEN 0x80000107u
/** The library is not started. */
#define IIDC_ERR_NOT_INITIALIZED 0x80000111u
/** An allocation failed. */
#define IIDC_ERR_NO_MEMORY 0x80000203u
/** No device can be bound at the camera index. */
#define IIDC_ERR_NO_DEVICE 0x80000207u
/** The handle is not an open camera, or the camera index is out of range. */
#define IIDC_ERR_INVALID_HANDLE 0x80000807u
/** An argument is unusable: null pointer, zero or too small size, an id
 * outside its table, a value out of range or refused by the driver. */
#define IIDC_ERR_INVALID_PARAMETER 0x80000808u
/** The feature id is not one of IIDC_FEATURE_*. */
#define IIDC_ERR_INVALID_FEATURE 0x80000809u
/** The format or mode is not offered by the camera, or no capture format has
 * been set up yet. */
#define IIDC_ERR_FORMAT_UNAVAILABLE 0x8000080Bu
/** The operation does not apply to the current format or is not provided. */
#define IIDC_ERR_NOT_SUPPORTED 0x80000F03u
/** A platform call or a camera register access failed (E_FAIL). */
#define IIDC_ERR_FAIL 0x80004005u

/* ------------------------------------------------------------------------ */
/* Camera states (iidc_getstatus)                                           */
/* ------------------------------------------------------------------------ */

/** Capture runs continuously. */
#define IIDC_STATE_CAPTURING 1
/** Frame buffers in place (or window display set up), not capturing. */
#define IIDC_STATE_READY 2
/** Capture graph prepared, no frame buffers. */
#define IIDC_STATE_PREPARED 3
/** Opened; no capture graph. */
#define IIDC_STATE_OPENED 4

/* ------------------------------------------------------------------------ */
/* Library queries                                                          */
/* ------------------------------------------------------------------------ */

/** Items of iidc_getcapability and the values they report. */
#define IIDC_CAPABILITY_INTERFACE 0
#define IIDC_CAPABILITY_REVISION 1
#define IIDC_CAPABILITY_COLORS 2
#define IIDC_INTERFACE_VERSION 0x01000000u
#define IIDC_INTERFACE_REVISION 0x01000001u
#define IIDC_COLOR_LAST 6

/** Bus type of every camera (iidc_getbustype): IEEE 1394. */
#define IIDC_BUSTYPE_1394 0x00010001u

/* ------------------------------------------------------------------------ */
/* Formats                                                                  */
/* ------------------------------------------------------------------------ */

/** IIDC colour codings, used in format ids and iidc_formatinfo. */
#define IIDC_COLOR_MONO8 0  /* 8-bit grey */
#define IIDC_COLOR_YUV411 1 /* U Y0 Y1 V Y2 Y3 per 4 pixels */
#define IIDC_COLOR_YUV422 2 /* U Y0 V Y1 per 2 pixels */
#define IIDC_COLOR_YUV444 3 /* U Y V per pixel */
#define IIDC_COLOR_RGB8 4   /* R G B, 8 bits each */
#define IIDC_COLOR_MONO16 5 /* 16-bit grey */
#define IIDC_COLOR_RGB16 6  /* R G B, 16 bits each (Format 7 only) */

/** IIDC format numbers: 0 to 2 hold the standard modes, 7 is the scalable
 * image format (Format 7). */
#define IIDC_FORMAT_SCALABLE 7

/*
 * A format id is a 32-bit value:
 *   bits 0-7   colour code (IIDC_COLOR_*)
 *   bits 8-11  IIDC format number (0, 1, 2 or 7)
 *   bits 12-15 IIDC mode number (0 to 7)
 *   bits 16-19 zero
 *   bits 20-31 IIDC_FORMATID_LISTED, or IIDC_FORMATID_CURRENT in the id that
 *              iidc_currentformat returns for Formats 0-2 (whose colour byte
 *              is then 0).
 * Functions that take an id read only the format (bits 8-10) and the mode
 * (bits 12-14). Compare ids by IIDC_FORMATID_FORMAT and IIDC_FORMATID_MODE,
 * never as whole values.
 */
#define IIDC_FORMATID_LISTED 0xFF700000u
#define IIDC_FORMATID_CURRENT 0xFF600000u
#define IIDC_FORMATID(format, mode, color)                                    \
  (IIDC_FORMATID_LISTED | (((uint32_t)(mode) & 0xFu) << 12) |                 \
   (((uint32_t)(format) & 0xFu) << 8) | ((uint32_t)(color) & 0xFFu))
#define IIDC_FORMATID_FORMAT(id) ((int)(((uint32_t)(id) >> 8) & 0x7u))
#define IIDC_FORMATID_MODE(id) ((int)(((uint32_t)(id) >> 12) & 0x7u))
#define IIDC_FORMATID_COLOR(id) ((int)((uint32_t)(id) & 0xFFu))

/** Capability word of iidc_formatinfo. */
#define IIDC_FORMATCAPS_STANDARD 0x50000000u /* Formats 0-2: frame rates */
#define IIDC_FORMATCAPS_SCALABLE 0x60000000u /* Format 7: image area */

/** Description of one format (iidc_getformatinfo). 20 bytes. */
typedef struct iidc_formatinfo {
  uint32_t capabilities; /* IIDC_FORMATCAPS_STANDARD or _SCALABLE */
  int32_t color;         /* IIDC_COLOR_*; Format 7: the mode's colour coding */
  int32_t width;         /* pixels; Format 7: the largest width */
  int32_t height;        /* pixels; Format 7: the largest height */
  uint8_t marker;        /* always 1 */
  uint8_t mode;          /* IIDC mode number of the id */
  uint8_t format;        /* IIDC format number of the id */
  uint8_t reserved;      /* always 0 */
} iidc_formatinfo;

/* ------------------------------------------------------------------------ */
/* Frame rates                                                              */
/* ------------------------------------------------------------------------ */

/** Frame-rate range of a standard mode (iidc_getframerateinfo). 12 bytes.
 * Rates are frames per second among 1.875, 3.75, 7.5, 15 and 30. */
typedef struct iidc_framerateinfo {
  uint32_t flags; /* always 1 */
  float lowest;   /* slowest supported rate */
  float highest;  /* fastest supported rate */
} iidc_framerateinfo;

/* ------------------------------------------------------------------------ */
/* Image area (Format 7)                                                    */
/* ------------------------------------------------------------------------ */

/** Limits and steps of a Format 7 mode (iidc_getareainfo). 24 bytes. */
typedef struct iidc_areainfo {
  int32_t maxwidth;   /* largest width */
  int32_t maxheight;  /* largest height */
  int32_t leftunit;   /* step of the left edge (horizontal position unit) */
  int32_t topunit;    /* step of the top edge (vertical position unit) */
  int32_t widthunit;  /* step of the width (horizontal size unit) */
  int32_t heightunit; /* step of the height (vertical size unit) */
} iidc_areainfo;

/** A rectangle of the sensor, in pixels (iidc_currentarea, iidc_setarea).
 * 16 bytes. */
typedef struct iidc_area {
  int32_t left;
  int32_t top;
  int32_t width;
  int32_t height;
} iidc_area;

/* ------------------------------------------------------------------------ */
/* Transfer figures                                                         */
/* ------------------------------------------------------------------------ */

/** Progress of the stream (iidc_gettransferinfo). 8 bytes. */
typedef struct iidc_transferinfo {
  int32_t framecount; /* frames delivered since capture started */
  int32_t lastbuffer; /* ring position of the buffer filled last */
} iidc_transferinfo;

/** Isochronous figures of a running capture
 * (iidc1394_currentisotransmissioninfo). 32 bits: channel in bits 0-7, speed
 * in bits 8-15, packet size in bits 16-31. */
typedef struct iidc1394_isotransmissioninfo {
  uint8_t channel;     /* isochronous channel, 0 to 15 */
  uint8_t speed;       /* bus speed in Mbit/s (S100: 100, S200: 200) */
  uint16_t packetsize; /* quadlets per isochronous packet; 0xFFFF when the
                          mode and rate have none */
} iidc1394_isotransmissioninfo;

/* ------------------------------------------------------------------------ */
/* Features                                                                 */
/* ------------------------------------------------------------------------ */

/** Feature ids: the offset of the feature's registers in each IIDC feature
 * register block. No other value is a feature. */
#define IIDC_FEATURE_BRIGHTNESS 0
#define IIDC_FEATURE_AUTO_EXPOSURE 4
#define IIDC_FEATURE_SHARPNESS 8
#define IIDC_FEATURE_WHITE_BALANCE 12 /* value1 red (V), value2 blue (U) */
#define IIDC_FEATURE_HUE 16
#define IIDC_FEATURE_SATURATION 20
#define IIDC_FEATURE_GAMMA 24
#define IIDC_FEATURE_SHUTTER 28
#define IIDC_FEATURE_GAIN 32
#define IIDC_FEATURE_IRIS 36
#define IIDC_FEATURE_FOCUS 40
#define IIDC_FEATURE_TEMPERATURE 44 /* value1 current, value2 target */
#define IIDC_FEATURE_TRIGGER 48     /* value1 parameter, value2 mode 0-15 */
#define IIDC_FEATURE_ZOOM 128
#define IIDC_FEATURE_PAN 132
#define IIDC_FEATURE_TILT 136
#define IIDC_FEATURE_OPTICAL_FILTER 140

/** Capability flags of iidc_featureinfo. */
#define IIDC_FEATURECAP_ONOFF 0x01u    /* can be switched on and off */
#define IIDC_FEATURECAP_MANUAL 0x02u   /* manual control */
#define IIDC_FEATURECAP_AUTO 0x04u     /* automatic control */
#define IIDC_FEATURECAP_ONEPUSH 0x08u  /* one-push control */
#define IIDC_FEATURECAP_READOUT 0x10u  /* value can be read out */
#define IIDC_FEATURECAP_PRESENT 0x20u  /* feature present */
#define IIDC_FEATURECAP_UNITS 0x40u    /* range in the camera's integer units */
#define IIDC_FEATURECAP_ABSOLUTE 0x80u /* range in absolute-value floats */
#define IIDC_FEATURECAP_TRIGGER_MODE0 0x100u
#define IIDC_FEATURECAP_TRIGGER_MODE1 0x200u
#define IIDC_FEATURECAP_TRIGGER_MODE2 0x400u
#define IIDC_FEATURECAP_TRIGGER_MODE3 0x800u

/** What a feature can do (iidc_currentfeatureinfo). 20 bytes. */
typedef struct iidc_featureinfo {
  uint32_t id;       /* in: IIDC_FEATURE_* */
  uint32_t reserved; /* out: always 0 */
  uint32_t flags;    /* out: IIDC_FEATURECAP_* */
  float minimum;     /* out: smallest value */
  float maximum;     /* out: largest value */
} iidc_featureinfo;

/** State flags of iidc_feature. Reported by iidc_currentfeature; the ones
 * marked "set" are acted upon by iidc_setfeature. */
#define IIDC_FEATURESTATE_OFF 0x01u      /* switched off; set: off, clear: on */
#define IIDC_FEATURESTATE_MANUAL 0x02u   /* manual mode; set: manual + values */
#define IIDC_FEATURESTATE_AUTO 0x04u     /* automatic mode; set: automatic */
#define IIDC_FEATURESTATE_ONEPUSH 0x08u  /* one-push running; set: start one */
#define IIDC_FEATURESTATE_UNITS 0x40u    /* values in integer units */
#define IIDC_FEATURESTATE_ABSOLUTE 0x80u /* absolute-control mode */
#define IIDC_FEATURESTATE_VALUE1 0x1000u /* value1 holds a value; set: write */
#define IIDC_FEATURESTATE_VALUE2 0x2000u /* value2 holds a value; set: write */
#define IIDC_FEATURESTATE_POLARITY_LOW 0x10000u  /* set only: trigger low */
#define IIDC_FEATURESTATE_POLARITY_HIGH 0x20000u /* set only: trigger high */

/** A feature's state and values (iidc_currentfeature, iidc_setfeature).
 * 16 bytes. Outside absolute mode the values are whole numbers. */
typedef struct iidc_feature {
  uint32_t id;    /* IIDC_FEATURE_* */
  uint32_t flags; /* IIDC_FEATURESTATE_* */
  float value1;
  float value2;
} iidc_feature;

/* ------------------------------------------------------------------------ */
/* Identity strings (iidc_getstring)                                        */
/* ------------------------------------------------------------------------ */

#define IIDC_STRING_UNIQUEID 0x80 /* 10 lower-case hexadecimal digits */
#define IIDC_STRING_VENDOR 0x81   /* vendor name */
#define IIDC_STRING_MODEL 0x82    /* model name */
#define IIDC_UNIQUEID_LENGTH 10

/* ------------------------------------------------------------------------ */
/* Waiting (iidc_wait)                                                      */
/* ------------------------------------------------------------------------ */

#define IIDC_WAIT_FRAME 2 /* the next frame */
#define IIDC_WAIT_RING 4  /* a frame landing in buffer 0 */
#define IIDC_WAIT_INFINITE 0xFFFFFFFFu

/** What to wait for, and for how long. 8 bytes. */
typedef struct iidc_waitinfo {
  uint32_t kind;    /* IIDC_WAIT_FRAME or IIDC_WAIT_RING; others: no wait */
  uint32_t timeout; /* milliseconds, or IIDC_WAIT_INFINITE */
} iidc_waitinfo;

/* ======================================================================== */
/* Library                                                                  */
/* ======================================================================== */

/**
 * Starts the library: initialises COM for the calling thread and counts the
 * video input devices. The count is fixed until iidc_uninit.
 * \retval 1 the library is started (also when it already was)
 * \retval 0 COM or the device enumeration failed, or there is no camera;
 *           nothing is recorded
 * \context Any thread; that thread owns the library's COM use.
 */
IIDC_EXPORT iidc_bool IIDC_API iidc_init(void);

/**
 * Ends the library: frees the error slots and the table of open cameras and
 * uninitialises COM. Close every camera first. Does nothing when the library
 * is not started.
 * \context The thread that called iidc_init.
 */
IIDC_EXPORT void IIDC_API iidc_uninit(void);

/**
 * \return the number of cameras found by iidc_init
 * \retval 0 the library is not started
 * \context Any thread.
 */
IIDC_EXPORT int32_t IIDC_API iidc_getcameracount(void);

/**
 * Reads an error slot.
 * \param index a camera index (use iidc_handletoindex for a handle), or a
 *              negative value for the global slot, which holds the last error
 *              of any call
 * \return the code last recorded in the slot, 0 if none
 * \retval 0 index is not below the camera count
 * \context Any thread, at any time.
 */
IIDC_EXPORT uint32_t IIDC_API iidc_getlasterror(int32_t index);

/**
 * \return the camera index of an open camera
 * \retval -1 the handle is not open (IIDC_ERR_INVALID_HANDLE)
 * \context Any state.
 */
IIDC_EXPORT int32_t IIDC_API iidc_handletoindex(iidc_handle handle);

/**
 * Static capabilities of the interface. Needs no started library.
 * \param index a camera index; negative values and the camera count pass
 * \param item IIDC_CAPABILITY_INTERFACE (IIDC_INTERFACE_VERSION),
 *             IIDC_CAPABILITY_REVISION (IIDC_INTERFACE_REVISION) or
 *             IIDC_CAPABILITY_COLORS (IIDC_COLOR_LAST)
 * \retval 0 index above the camera count (IIDC_ERR_INVALID_HANDLE), or an
 *           unknown item (IIDC_ERR_INVALID_PARAMETER)
 * \context Any thread.
 */
IIDC_EXPORT uint32_t IIDC_API iidc_getcapability(int32_t index, uint32_t item);

/**
 * \return IIDC_BUSTYPE_1394 for a camera index below the camera count
 *         (negative indexes pass)
 * \retval 0 library not started (IIDC_ERR_NOT_INITIALIZED, not readable), or
 *           index out of range (IIDC_ERR_INVALID_HANDLE)
 * \context Any thread. C calling convention.
 */
IIDC_EXPORT uint32_t IIDC_CAPI iidc_getbustype(int32_t index);

/* ======================================================================== */
/* Camera open and close                                                    */
/* ======================================================================== */

/**
 * Opens the camera at a camera index: binds the device and builds its filter
 * graph. The camera starts in IIDC_STATE_OPENED.
 * \return the camera's handle
 * \retval NULL index out of range or library not started
 *              (IIDC_ERR_INVALID_HANDLE, recorded under index 0), index
 *              already open (IIDC_ERR_ALREADY_OPEN), no device at the index
 *              (IIDC_ERR_NO_DEVICE), or a platform failure (IIDC_ERR_FAIL)
 * \context A thread with COM initialised.
 */
IIDC_EXPORT iidc_handle IIDC_API iidc_open(int32_t index);

/**
 * Closes a camera, releases its graph and clears its error slot. Stop capture
 * and give back frame buffers first. The handle is invalid afterwards.
 * \retval 1 the camera is closed
 * \retval 0 the handle is not open (IIDC_ERR_INVALID_HANDLE)
 * \context Any state once capture is stopped; the thread that owns the graph.
 */
IIDC_EXPORT iidc_bool IIDC_API iidc_close(iidc_handle handle);

/* ======================================================================== */
/* Camera registers                                                         */
/* ======================================================================== */

/**
 * Reads one 32-bit camera register. A refused request records no error code;
 * a handle that is not open, or a null value pointer, gives 0 (the handle
 * with IIDC_ERR_INVALID_HANDLE in the global slot).
 * \param offset register offset from the IIDC command-register base; lower
 *               addresses of the initial register space are reached by
 *               offsets that wrap modulo 2^32
 * \param value receives the register's value, only on success
 * \param length transfer length in bytes; not examined (one quadlet moves)
 * \retval 4 the quadlet was read
 * \retval 0 the driver refused the request
 * \context Any state, also while capturing. C calling convention.
 */
IIDC_EXPORT int32_t IIDC_CAPI iidc1394_asyncreadquadlet(iidc_handle handle, uint32_t offset,
                                                        uint32_t *value, int32_t length);

/**
 * Writes one 32-bit camera register. A refused request records no error code;
 * a handle that is not open, or a null value pointer, gives 0 (the handle
 * with IIDC_ERR_INVALID_HANDLE in the global slot).
 * \param offset register offset as for iidc1394_asyncreadquadlet
 * \param value the value to write
 * \param length transfer length in bytes; not examined (one quadlet moves)
 * \retval 4 the quadlet was written
 * \retval 0 the driver refused the request
 * \context Any state, also while capturing. C calling convention.
 */
IIDC_EXPORT int32_t IIDC_CAPI iidc1394_asyncwritequadlet(iidc_handle handle, uint32_t offset,
                                                         const uint32_t *value, int32_t length);

/* ======================================================================== */
/* Format catalogue                                                         */
/* ======================================================================== */

/**
 * \return an upper bound on the number of format ids iidc_getformatidlist
 *         delivers: the driver's stream capabilities plus one per supported
 *         Format 7 mode and colour coding
 * \retval 0 handle not open or no stream configuration
 *           (IIDC_ERR_INVALID_HANDLE), or a driver or register failure
 *           (IIDC_ERR_FAIL)
 * \context Any state.
 */
IIDC_EXPORT int32_t IIDC_API iidc_getformatcount(iidc_handle handle);

/**
 * Lists the format ids the camera offers: the standard modes its driver
 * offers, then each supported Format 7 mode and colour coding.
 * \param ids receives up to size / 4 format ids
 * \param size size of the array in bytes
 * \return the number of bytes written (4 per id)
 * \retval 0 handle not open or no stream configuration
 *           (IIDC_ERR_INVALID_HANDLE), null ids or size 0
 *           (IIDC_ERR_INVALID_PARAMETER), driver or register failure
 *           (IIDC_ERR_FAIL)
 * \context Any state.
 */
IIDC_EXPORT int32_t IIDC_API iidc_getformatidlist(iidc_handle handle, uint32_t *ids, int32_t size);

/**
 * Describes a format id: colour code and picture size of a standard mode from
 * the IIDC tables (whether the camera offers it or not), or the current colour
 * coding and largest size of a Format 7 mode from the camera.
 * \param info receives the description; the last four bytes are written first
 * \param size size of info in bytes; must not be 0
 * \retval 1 success
 * \retval 0 handle not open (IIDC_ERR_INVALID_HANDLE), null info or size 0
 *           (IIDC_ERR_INVALID_PARAMETER), format number 3 to 6
 *           (IIDC_ERR_FORMAT_UNAVAILABLE), register failure (IIDC_ERR_FAIL)
 * \context Any state.
 */
IIDC_EXPORT int32_t IIDC_API iidc_getformatinfo(iidc_handle handle, iidc_formatinfo *info,
                                                int32_t size, uint32_t id);

/**
 * \return the format id in force, read from the camera: for Formats 0-2 with
 *         IIDC_FORMATID_CURRENT in bits 20-31 and colour byte 0, for Format 7
 *         with the mode's current colour code
 * \retval 0 handle not open (IIDC_ERR_INVALID_HANDLE) or register failure
 *           (IIDC_ERR_FAIL)
 * \context Any state.
 */
IIDC_EXPORT uint32_t IIDC_API iidc_currentformat(iidc_handle handle);

/* ======================================================================== */
/* Format selection                                                         */
/* ======================================================================== */

/**
 * Puts a standard mode (Formats 0-2) into force at its fastest supported frame
 * rate. First takes the capture graph down: from then on the camera is in
 * IIDC_STATE_OPENED, whatever the outcome.
 * \retval 1 the driver accepted the format
 * \retval 0 handle not open or no stream configuration
 *           (IIDC_ERR_INVALID_HANDLE), mode not offered or not Formats 0-2
 *           (IIDC_ERR_FORMAT_UNAVAILABLE), driver or register failure
 *           (IIDC_ERR_FAIL)
 * \context Any state but capturing (stop with iidc_idle first).
 */
IIDC_EXPORT iidc_bool IIDC_API iidc_setformat(iidc_handle handle, uint32_t id);

/* ======================================================================== */
/* Frame rates                                                              */
/* ======================================================================== */

/**
 * Reports the slowest and fastest rate the camera supports for a standard
 * mode. When it supports none, only the flags word is written.
 * \param size size of info in bytes; not examined
 * \retval 1 success
 * \retval 0 handle not open (IIDC_ERR_INVALID_HANDLE), null info or format
 *           number 3 to 5 (IIDC_ERR_INVALID_PARAMETER), format 6 or 7
 *           (IIDC_ERR_NOT_SUPPORTED), register failure (IIDC_ERR_FAIL)
 * \context Any state.
 */
IIDC_EXPORT int32_t IIDC_API iidc_getframerateinfo(iidc_handle handle, iidc_framerateinfo *info,
                                                   int32_t size, uint32_t id);

/**
 * \return the frame rate in force, in frames per second
 * \retval 0.0 handle not open or no stream configuration
 *             (IIDC_ERR_INVALID_HANDLE), driver failure (IIDC_ERR_FAIL)
 * \context Any state.
 */
IIDC_EXPORT float IIDC_API iidc_currentframerate(iidc_handle handle);

/**
 * Asks the driver for a frame rate. Takes the capture graph down: the camera
 * is then in IIDC_STATE_OPENED, whether or not the driver accepts the rate.
 * \return rate, when the driver accepted it
 * \retval 0.0 handle not open or no stream configuration
 *             (IIDC_ERR_INVALID_HANDLE), rate refused
 *             (IIDC_ERR_INVALID_PARAMETER), driver failure (IIDC_ERR_FAIL)
 * \context Any state but capturing.
 */
IIDC_EXPORT float IIDC_API iidc_setframerate(iidc_handle handle, float rate);

/* ======================================================================== */
/* Image area (Format 7)                                                    */
/* ======================================================================== */

/**
 * Reports the largest size and the position and size steps of a Format 7
 * mode.
 * \param size size of info in bytes; not examined
 * \retval 1 success
 * \retval 0 handle not open (IIDC_ERR_INVALID_HANDLE), null info
 *           (IIDC_ERR_INVALID_PARAMETER), id not of Format 7
 *           (IIDC_ERR_NOT_SUPPORTED), camera without Format 7 or that mode
 *           (IIDC_ERR_FORMAT_UNAVAILABLE), register failure (IIDC_ERR_FAIL)
 * \context Any state.
 */
IIDC_EXPORT int32_t IIDC_API iidc_getareainfo(iidc_handle handle, iidc_areainfo *info,
                                              int32_t size, uint32_t id);

/**
 * Reports the image area in force.
 * \param size size of area in bytes; not examined
 * \retval 1 success
 * \retval 0 handle not open (IIDC_ERR_INVALID_HANDLE), null area or camera not
 *           in Format 7 (IIDC_ERR_INVALID_PARAMETER), register failure
 *           (IIDC_ERR_FAIL)
 * \context Any state.
 */
IIDC_EXPORT int32_t IIDC_API iidc_currentarea(iidc_handle handle, iidc_area *area, int32_t size);

/**
 * Hands a new image area to the driver, which judges it. Takes the capture
 * graph down: the camera is then in IIDC_STATE_OPENED, whether or not the
 * driver accepts the area.
 * \param size size of area in bytes; not examined
 * \retval 1 the driver accepted the area
 * \retval 0 handle not open (IIDC_ERR_INVALID_HANDLE), null area (global slot)
 *           or area refused (IIDC_ERR_INVALID_PARAMETER), driver without
 *           area support (IIDC_ERR_NOT_SUPPORTED)
 * \context Any state but capturing.
 */
IIDC_EXPORT int32_t IIDC_API iidc_setarea(iidc_handle handle, const iidc_area *area, int32_t size);

/* ======================================================================== */
/* Transfer figures                                                         */
/* ======================================================================== */

/**
 * \return the size in bytes of one frame as the capture graph delivers it
 * \retval 0 handle not open (IIDC_ERR_INVALID_HANDLE), no capture graph
 *           (IIDC_ERR_FORMAT_UNAVAILABLE), driver failure (IIDC_ERR_FAIL)
 * \context States 3, 2 and 1.
 */
IIDC_EXPORT int32_t IIDC_API iidc_currentdataframebytes(iidc_handle handle);

/**
 * Reports the frames delivered since capture started and the ring position
 * filled last. The handle is validated like every other: one that is not
 * open gives the failure result with IIDC_ERR_INVALID_HANDLE in the global
 * slot.
 * \param size size of info in bytes; not examined
 * \retval 1 success
 * \retval 0 no frame counter: neither a capture graph nor a window display is
 *           set up (nothing recorded, info untouched); the counter failed
 *           (IIDC_ERR_FAIL); info is null (IIDC_ERR_INVALID_PARAMETER)
 * \context Any state; safe while frames arrive.
 */
IIDC_EXPORT int32_t IIDC_API iidc_gettransferinfo(iidc_handle handle, iidc_transferinfo *info,
                                                  int32_t size);

/**
 * Reports the isochronous channel, bus speed and packet size of a running
 * capture. Fields the camera does not determine keep the caller's values.
 * \retval 4 success
 * \retval 0 handle not open (IIDC_ERR_INVALID_HANDLE), not capturing
 *           (IIDC_ERR_NOT_CAPTURING), register failure (IIDC_ERR_FAIL)
 * \context IIDC_STATE_CAPTURING. C calling convention.
 */
IIDC_EXPORT int32_t IIDC_CAPI iidc1394_currentisotransmissioninfo(
    iidc_handle handle, iidc1394_isotransmissioninfo *info);

/* ======================================================================== */
/* Features                                                                 */
/* ======================================================================== */

/**
 * Reports what a feature can do and its range. An unknown id or a register
 * failure records nothing. The handle is validated like every other: one that is not open gives the
 * failure result with IIDC_ERR_INVALID_HANDLE in the global slot.
 * \param info its id selects the feature; reserved and flags are cleared
 *             first, minimum and maximum are written only for a present
 *             ordinary feature
 * \param reserved not read
 * \retval 1 success (also for an absent feature: flags 0)
 * \retval 0 id not an IIDC_FEATURE_* value, or register failure
 * \context Any state.
 */
IIDC_EXPORT int32_t IIDC_API iidc_currentfeatureinfo(iidc_handle handle, iidc_featureinfo *info,
                                                     uint32_t reserved);

/**
 * Reports a feature's state and values.
 * \param feature its id selects the feature; flags and values are filled
 * \param reserved not read
 * \retval 1 success
 * \retval 0 handle not open (IIDC_ERR_INVALID_HANDLE), id not an
 *           IIDC_FEATURE_* value (IIDC_ERR_INVALID_FEATURE), register failure
 *           (IIDC_ERR_FAIL)
 * \context Any state.
 */
IIDC_EXPORT int32_t IIDC_API iidc_currentfeature(iidc_handle handle, iidc_feature *feature,
                                                 uint32_t reserved);

/**
 * Changes a feature with one read-modify-write of its control register:
 * switches it on or off (IIDC_FEATURESTATE_OFF), selects manual mode and
 * writes the flagged values, automatic mode or a one-push adjustment; for the
 * trigger sets polarity, mode or parameter. Values are not range-checked. The handle is validated like every other: one that is not open gives the
 * failure result with IIDC_ERR_INVALID_HANDLE in the global slot.
 * \param feature id (an IIDC_FEATURE_* value), flags and values; read only
 * \param reserved not read
 * \return the register value written
 * \retval 0 the register read failed (IIDC_ERR_FAIL) or the write failed
 *           (nothing recorded)
 * \context Any state.
 */
IIDC_EXPORT uint32_t IIDC_API iidc_setfeature(iidc_handle handle, const iidc_feature *feature,
                                              uint32_t reserved);

/* ======================================================================== */
/* Identity                                                                 */
/* ======================================================================== */

/**
 * Reads an identity text from the camera's configuration ROM. Works for a
 * camera index that is not open (the device is bound for the call) as well as
 * for an open one. No terminating zero is written.
 * \param id IIDC_STRING_UNIQUEID, IIDC_STRING_VENDOR or IIDC_STRING_MODEL
 * \param buffer receives the text; NULL asks for its length
 * \param size capacity of buffer in bytes
 * \return the number of bytes written, or with a null buffer the number
 *         needed
 * \retval 0 library not started (IIDC_ERR_NOT_INITIALIZED, not readable),
 *           index out of range or no device (IIDC_ERR_INVALID_HANDLE), unknown
 *           id or buffer too small (IIDC_ERR_INVALID_PARAMETER), allocation
 *           failure (IIDC_ERR_NO_MEMORY), driver or register failure
 *           (IIDC_ERR_FAIL); also an empty name
 * \context Any state, also while capturing.
 */
IIDC_EXPORT int32_t IIDC_API iidc_getstring(int32_t index, uint32_t id, char *buffer,
                                            int32_t size);

/* ======================================================================== */
/* Frame buffers                                                            */
/* ======================================================================== */

/**
 * Allocates a ring of frame buffers of the connected frame size, and the
 * conversion buffer of iidc_lockbits. Moves the camera to IIDC_STATE_READY.
 * Give the ring back with iidc_freeframe.
 * \param count number of buffers wanted
 * \return the number of buffers allocated, which may be smaller than count
 * \retval 0 handle not open (IIDC_ERR_INVALID_HANDLE), capturing
 *           (IIDC_ERR_CAPTURING), not in IIDC_STATE_PREPARED
 *           (IIDC_ERR_NOT_PREPARED), driver or allocation failure
 *           (IIDC_ERR_FAIL)
 * \context IIDC_STATE_PREPARED.
 */
IIDC_EXPORT int32_t IIDC_API iidc_allocframe(iidc_handle handle, int32_t count);

/**
 * Gives back the buffers of iidc_allocframe and the conversion buffer. Moves
 * the camera from IIDC_STATE_READY to IIDC_STATE_PREPARED; in states 3 and 4
 * does nothing.
 * \retval 1 every buffer was given back, or there was nothing to do
 * \retval 0 handle not open (IIDC_ERR_INVALID_HANDLE), capturing
 *           (IIDC_ERR_CAPTURING), driver failure (IIDC_ERR_FAIL), or a buffer
 *           could not be given back (nothing recorded; the ring is gone)
 * \context Any state but capturing.
 */
IIDC_EXPORT iidc_bool IIDC_API iidc_freeframe(iidc_handle handle);

/**
 * Puts the caller's buffers in place as the ring; they stay the caller's and
 * must each hold one frame (iidc_currentdataframebytes). A null entry ends the
 * ring. Allocates the conversion buffer. Moves the camera to
 * IIDC_STATE_READY. Take the ring away with iidc_releasebuffer.
 * \param buffers array of buffer pointers
 * \param size size of that array in bytes (entries x pointer size)
 * \return the number of pointers taken
 * \retval 0 handle not open (IIDC_ERR_INVALID_HANDLE), capturing
 *           (IIDC_ERR_CAPTURING), not in IIDC_STATE_PREPARED
 *           (IIDC_ERR_NOT_PREPARED), allocation failure (IIDC_ERR_NO_MEMORY),
 *           driver failure (IIDC_ERR_FAIL)
 * \context IIDC_STATE_PREPARED.
 */
IIDC_EXPORT int32_t IIDC_API iidc_attachbuffer(iidc_handle handle, unsigned char *const *buffers,
                                               int32_t size);

/**
 * Takes away the ring of iidc_attachbuffer, leaving the caller's buffers
 * untouched, and gives back the conversion buffer, after any state change of
 * the graph in progress has finished. Moves the camera from IIDC_STATE_READY
 * to IIDC_STATE_PREPARED; in states 3 and 4 does nothing.
 * \retval 1 success, or nothing to do
 * \retval 0 handle not open (IIDC_ERR_INVALID_HANDLE), capturing
 *           (IIDC_ERR_CAPTURING), driver failure (IIDC_ERR_FAIL)
 * \context Any state but capturing.
 */
IIDC_EXPORT iidc_bool IIDC_API iidc_releasebuffer(iidc_handle handle);

/**
 * \return the number of buffers in the ring; 0 without a ring
 * \retval 0 also: handle not open (IIDC_ERR_INVALID_HANDLE)
 * \context Any state.
 */
IIDC_EXPORT uint32_t IIDC_API iidc_getframecount(iidc_handle handle);

/* ======================================================================== */
/* Capture graph                                                            */
/* ======================================================================== */

/**
 * Builds the capture graph for the format in force. Moves the camera to
 * IIDC_STATE_PREPARED and ends window mode.
 * \retval 1 the capture graph is complete
 * \retval 0 handle not open (IIDC_ERR_INVALID_HANDLE), not in
 *           IIDC_STATE_OPENED (IIDC_ERR_ALREADY_PREPARED), platform failure
 *           (IIDC_ERR_FAIL), or a driver without a dropped-frame counter
 *           (nothing recorded); iidc_clearcapture before trying again
 * \context IIDC_STATE_OPENED; the thread that owns the graph.
 */
IIDC_EXPORT iidc_bool IIDC_API iidc_preparecapture(iidc_handle handle);

/* ======================================================================== */
/* Capture control                                                          */
/* ======================================================================== */

/**
 * Starts capture. Continuous capture runs until iidc_idle (state 1); a single
 * frame returns once the frame is in the ring and the graph has stopped
 * (state 2). In window mode the display runs instead of the ring.
 *
 * A single frame of a free-running camera is waited for 5 s, or three frame
 * intervals of the format in force when that is longer. When the camera's
 * trigger is on (feature IIDC_FEATURE_TRIGGER present and switched on, read
 * from its mode register when the capture starts) the frame may wait minutes
 * for its trigger, so there is no bound: the call returns when the frame has
 * arrived, when another thread calls iidc_waitabort on the camera (with NULL,
 * or with the event an iidc_wait of that thread waits on), or when the camera
 * stops answering. An abort made while nobody waited ends such a capture at
 * once, as it ends the next iidc_wait. Either end stops the graph and leaves
 * the camera in IIDC_STATE_READY with the ring as it was. The frame event is
 * signalled for the frame as in continuous capture, so another thread's
 * iidc_wait sees it.
 * \param continuous 1 runs until iidc_idle, 0 captures one frame
 * \retval 1 success
 * \retval 0 handle not open (IIDC_ERR_INVALID_HANDLE), capturing
 *           (IIDC_ERR_CAPTURING), not in IIDC_STATE_READY or no media control
 *           or the single frame did not complete: the bound passed, the
 *           camera was lost (IIDC_ERR_NO_FRAMES); a triggered single frame
 *           ended by iidc_waitabort (IIDC_ERR_WAIT_ABORTED, in the camera's
 *           and the global slot); platform failure (IIDC_ERR_FAIL)
 * \context IIDC_STATE_READY; the thread that owns the graph. A single frame
 *          blocks until it has arrived or one of the ends above.
 */
IIDC_EXPORT iidc_bool IIDC_API iidc_capture(iidc_handle handle, iidc_bool continuous);

/**
 * Stops a running capture (state 1 to 2) and unregisters the frame callback,
 * which also drops the frame lock. In other states only unregisters a
 * callback left over from a capture.
 * \retval 1 success
 * \retval 0 handle not open (IIDC_ERR_INVALID_HANDLE), the graph did not stop
 *           (IIDC_ERR_FAIL; still capturing)
 * \context Any state; the thread that owns the graph.
 */
IIDC_EXPORT iidc_bool IIDC_API iidc_idle(iidc_handle handle);

/**
 * Takes the capture graph down (state 4). The ring stays in place.
 * \retval 1 success
 * \retval 0 handle not open (IIDC_ERR_INVALID_HANDLE), capturing
 *           (IIDC_ERR_CAPTURING)
 * \context Any state but capturing; the thread that owns the graph.
 */
IIDC_EXPORT iidc_bool IIDC_API iidc_clearcapture(iidc_handle handle);

/**
 * \return the camera state, IIDC_STATE_CAPTURING to IIDC_STATE_OPENED
 * \retval 0 handle not open (IIDC_ERR_INVALID_HANDLE)
 * \context Any state.
 */
IIDC_EXPORT int32_t IIDC_API iidc_getstatus(iidc_handle handle);

/**
 * Blocks until the next frame (IIDC_WAIT_FRAME) or a frame landing in buffer
 * 0 (IIDC_WAIT_RING) or the time-out. A time-out returns the event just as a
 * frame does: compare iidc_gettransferinfo before and after to tell them
 * apart. The handle is validated like every other: one that is not open gives the
 * failure result with IIDC_ERR_INVALID_HANDLE in the global slot.
 * \param wait kind and time-out
 * \param reserved not read
 * \return the event waited on; pass it to iidc_waitabort to end the wait
 * \retval NULL the wait was ended by iidc_waitabort (IIDC_ERR_WAIT_ABORTED in
 *              the camera's slot only), or the kind is not a wait kind
 *              (nothing recorded)
 * \context Any thread, any state; blocks the calling thread.
 */
IIDC_EXPORT iidc_event IIDC_API iidc_wait(iidc_handle handle, const iidc_waitinfo *wait,
                                          uint32_t reserved);

/**
 * Ends a wait of iidc_wait on another thread: marks the camera's wait as
 * aborted and signals the event. Called while nobody waits, the next wait
 * ends as aborted. The handle is validated like every other: one that is not open gives the
 * failure result with IIDC_ERR_INVALID_HANDLE in the global slot.
 * \param event the event iidc_wait waits on (as an earlier iidc_wait returned);
 *              NULL signals no event and only marks the abort, which is how a
 *              triggered single-frame iidc_capture is ended (see there)
 * \retval 1 always
 * \context Any thread, any state.
 */
IIDC_EXPORT iidc_bool IIDC_API iidc_waitabort(iidc_handle handle, iidc_event event);

/* ======================================================================== */
/* Frame access                                                             */
/* ======================================================================== */

/**
 * Locks a buffer of the ring against new frames and returns its raw frame.
 * One buffer is locked at a time: a new lock replaces the old one. The pointer
 * stays valid until the ring is given back.
 * The lock takes no lock of its own: it counts from the next frame's choice
 * of buffer, and a frame already being copied still lands. With three or more
 * buffers the most recent frame stays whole while it is read; with one or two,
 * or if the application falls a whole ring behind, it may be refilled.
 * \param index buffer index, or negative for the most recent frame
 * \return the first byte of the buffer
 * \retval NULL handle not open (IIDC_ERR_INVALID_HANDLE), no ring
 *              (IIDC_ERR_NO_FRAMES), index not below the number of buffers
 *              (nothing recorded; the earlier lock stays)
 * \context While a capture is set up (after iidc_capture, before iidc_idle).
 *          Frames keep arriving on the platform's thread.
 */
IIDC_EXPORT unsigned char *IIDC_API iidc_lockdata(iidc_handle handle, int32_t index);

/**
 * Lets new frames into the locked buffer again.
 * \context Any state; records IIDC_ERR_INVALID_HANDLE for a handle that is not
 *          open.
 */
IIDC_EXPORT void IIDC_API iidc_unlockdata(iidc_handle handle);

/**
 * Placeholder; delivers nothing. Further arguments are not read.
 * \retval 0 always: handle not open (IIDC_ERR_INVALID_HANDLE), otherwise
 *           IIDC_ERR_NOT_SUPPORTED
 * \context Any state. C calling convention.
 */
IIDC_EXPORT uint32_t IIDC_CAPI iidc_getbits(iidc_handle handle, ...);

/**
 * Placeholders (one function under two names); no argument is read, nothing
 * is recorded.
 * \retval 0 always
 * \context Any thread.
 */
IIDC_EXPORT uint32_t IIDC_API iidc_getbitslutrange(iidc_handle handle, uint32_t first,
                                                   uint32_t last);
IIDC_EXPORT uint32_t IIDC_API iidc_setbitslutrange(iidc_handle handle, uint32_t first,
                                                   uint32_t last);

/* ======================================================================== */
/* Colour images                                                            */
/* ======================================================================== */

/**
 * Locks a frame as iidc_lockdata does and converts it into a 24-bit colour
 * image in the camera's conversion buffer: blue, green, red per pixel, rows
 * bottom-up, each row padded to a multiple of 4 bytes (a bottom-up 24-bit
 * DIB). The frame is read in the format and (Format 7) area now in force.
 * YUV frames use the floating-point formula, or the integer approximation for
 * models whose name begins with "MHP-Z610", "MHP-Z 420", "MHP-ZR420" or
 * "KQX_RT710"; a model name that cannot be read (16 bytes are read) gets the
 * floating-point formula. A 16-bit grey sample (most significant
 * byte first) shows as its most significant byte. The frame stays locked
 * until iidc_unlockbits, also on failure.
 * \param index buffer index, or negative for the most recent frame
 * \return the conversion buffer, the camera's own: valid until the ring is
 *         given back, overwritten by the next call
 * \retval NULL handle not open (IIDC_ERR_INVALID_HANDLE), no ring or no
 *              conversion buffer (IIDC_ERR_NO_FRAMES), bad index, the current
 *              format or area could not be read (that query's code), a format
 *              or area larger than the ring was made for, so that the image
 *              or the frame would not fit its buffer (IIDC_ERR_NOT_SUPPORTED;
 *              nothing is written), the platform bitmap could not be made or
 *              an RGB or unknown colour coding (nothing recorded)
 * \context As iidc_lockdata.
 */
IIDC_EXPORT unsigned char *IIDC_API iidc_lockbits(iidc_handle handle, int32_t index);

/**
 * Ends the access of iidc_lockbits: does what iidc_unlockdata does.
 * \context Any state; records IIDC_ERR_INVALID_HANDLE for a handle that is not
 *          open.
 */
IIDC_EXPORT void IIDC_API iidc_unlockbits(iidc_handle handle);

/* ======================================================================== */
/* Window display                                                           */
/* ======================================================================== */

/**
 * Turns the prepared capture graph into a live display in a hidden child
 * window of owner at the given rectangle (client coordinates, not checked),
 * and moves the camera to IIDC_STATE_READY in window mode: iidc_capture and
 * iidc_idle then start and stop the display. iidc_clearcapture and
 * iidc_preparecapture end window mode.
 * \retval 1 the display is set up
 * \retval 0 handle not open (IIDC_ERR_INVALID_HANDLE), no capture graph or a
 *           platform failure (IIDC_ERR_FAIL), no renderer frame counter
 *           (nothing recorded)
 * \context After iidc_preparecapture, not while capturing; the thread that
 *          owns the graph and the window. C calling convention.
 */
IIDC_EXPORT iidc_bool IIDC_CAPI iidc_setimagetowindow(iidc_handle handle, iidc_window owner,
                                                      int32_t left, int32_t top, int32_t width,
                                                      int32_t height);

#ifdef __cplusplus
} /* extern "C" */
#endif

/* ------------------------------------------------------------------------ */
/* Record layouts                                                           */
/* ------------------------------------------------------------------------ */

/* Checked wherever the language can (C11 and C++11 onwards). */
#if defined(__cplusplus) || (defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L)
#if defined(__cplusplus)
#define IIDC_STATIC_ASSERT static_assert
#else
#define IIDC_STATIC_ASSERT _Static_assert
#endif
IIDC_STATIC_ASSERT(sizeof(iidc_bool) == 1, "iidc_bool is one byte");
IIDC_STATIC_ASSERT(sizeof(iidc_formatinfo) == 20, "iidc_formatinfo is 20 bytes");
IIDC_STATIC_ASSERT(sizeof(iidc_framerateinfo) == 12, "iidc_framerateinfo is 12 bytes");
IIDC_STATIC_ASSERT(sizeof(iidc_areainfo) == 24, "iidc_areainfo is 24 bytes");
IIDC_STATIC_ASSERT(sizeof(iidc_area) == 16, "iidc_area is 16 bytes");
IIDC_STATIC_ASSERT(sizeof(iidc_transferinfo) == 8, "iidc_transferinfo is 8 bytes");
IIDC_STATIC_ASSERT(sizeof(iidc1394_isotransmissioninfo) == 4,
                   "iidc1394_isotransmissioninfo is 32 bits");
IIDC_STATIC_ASSERT(sizeof(iidc_featureinfo) == 20, "iidc_featureinfo is 20 bytes");
IIDC_STATIC_ASSERT(sizeof(iidc_feature) == 16, "iidc_feature is 16 bytes");
IIDC_STATIC_ASSERT(sizeof(iidc_waitinfo) == 8, "iidc_waitinfo is 8 bytes");
IIDC_STATIC_ASSERT(sizeof(float) == 4, "the interface's floats are 32-bit");
#undef IIDC_STATIC_ASSERT
#endif

#endif /* IIDC_H */
