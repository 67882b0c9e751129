/*
 * libiidc_bayer: the colour filter decision of the front ends and their
 * demosaicing, behind a plain C interface for programs that reach the camera
 * library through a foreign-function layer (the Python package). It does not
 * load the camera library: registers are read through the caller's function.
 *
 * Filters are numbered as the camera's colour filter register numbers them:
 * 0 RGGB, 1 GBRG, 2 GRBG, 3 BGGR (the colours of the top-left 2x2 tile, row
 * by row). Methods: 0 nearest, 1 bilinear, 2 hq (gradient-corrected linear).
 * Orders: 0 blue-green-red, 1 red-green-blue.
 *
 * Every function may be called on any thread; none keeps state.
 */
#ifndef IIDC_BAYER_H
#define IIDC_BAYER_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Reads the camera register at a command-register offset into *value;
 * nonzero when the read succeeded. */
typedef int (*ibayer_read_fn)(void* context, uint32_t offset, uint32_t* value);

/* Where a filter came from, in *source of ibayer_filter. */
#define IBAYER_SOURCE_NONE 0
#define IBAYER_SOURCE_OVERRIDE 1
#define IBAYER_SOURCE_COLOR_FILTER_ID 2
#define IBAYER_SOURCE_TILE_MAPPING 3

/*
 * The filter of the image of a stream: format_id as the library numbers
 * formats (its format and mode are read), color the stream's IIDC colour
 * coding (9 RAW8, 10 RAW16), override the sensor's filter (0-3) or -1,
 * left and top the Format 7 area's position on the sensor (0 otherwise).
 * The decision: the override, else COLOR_FILTER_ID of a Format 7 mode in
 * RAW8/RAW16, else BAYER_TILE_MAPPING, else none; only Mono8, Mono16, RAW8
 * and RAW16 carry a filter. Returns the image's filter (the sensor's shifted
 * by left and top), or -1 for none; *source, when given, tells why.
 */
int32_t ibayer_filter(ibayer_read_fn read, void* context, uint32_t format_id, int32_t color, int32_t override_filter,
                      uint32_t left, uint32_t top, int32_t* source);

/*
 * Demosaics a mosaic of one sample per pixel (8-bit, or 16-bit big-endian
 * unless little_endian) with rows src_stride bytes apart, top row first, into
 * three samples per pixel (bytes, or native uint16 for 16-bit input) with
 * rows dst_stride bytes apart. Returns 1 when the whole image was written, 0
 * (writing nothing) for a null pointer, a negative size, an unknown filter,
 * method or order, a stride shorter than a row or a buffer shorter than the
 * image.
 */
int32_t ibayer_demosaic8(const uint8_t* src, size_t src_size, size_t src_stride, uint8_t* dst, size_t dst_size,
                         size_t dst_stride, int32_t width, int32_t height, int32_t filter, int32_t method,
                         int32_t order);
int32_t ibayer_demosaic16(const uint8_t* src, size_t src_size, size_t src_stride, int32_t little_endian,
                          uint16_t* dst, size_t dst_size, size_t dst_stride, int32_t width, int32_t height,
                          int32_t filter, int32_t method, int32_t order);

#ifdef __cplusplus
}
#endif

#endif
