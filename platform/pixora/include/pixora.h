/*
 * pixora: conversions between JPEG files and the station's BMP files.
 *
 * The library exports exactly two functions, imported by name:
 *
 *   cvtJPEGTOBMP("-bmp", source, destination)
 *   cvtBMPTOJPEG("-quality", "95" or "100", source, destination)
 *
 * Every argument is a NUL-terminated text owned by the caller; the library
 * only reads it during the call and keeps no pointer to it. Paths are plain
 * file-system paths, relative ones resolved against the current directory.
 *
 * Both functions return 0 on success and one of the positive PIXORA_ERR_*
 * codes below on failure. They never end the process, never print, and
 * never leave a partial destination file behind: the output is written to a
 * temporary file in the destination's folder and renamed over the
 * destination only when it is complete, so a failed conversion leaves any
 * earlier destination file byte-identical. Both functions are safe to call
 * from several threads at once on different files.
 *
 * BMP files as read by cvtBMPTOJPEG (little-endian offsets):
 *   0  "BM"
 *   10 u32 offset of the pixels: must be 54
 *   18 i32 width:  |width| 1 to 8192
 *   22 i32 height: |height| 1 to 8192; positive = bottom-up rows,
 *                  negative = top-down rows
 *   28 u16 bits per pixel: 24 (B, G, R) or 32 (B, G, R, unused)
 *   30 u32 compression: 0
 *   file length exactly 54 + |height| * row bytes, where a row holds
 *   width * 3 bytes rounded up to a multiple of 4 (24 bits) or
 *   width * 4 bytes (32 bits).
 * Palette images, compressed images, larger headers and trailing bytes are
 * refused.
 *
 * BMP files as written by cvtJPEGTOBMP: the 14-byte file header and the
 * 40-byte information header (pixel offset 54), 24 bits per pixel in the
 * order B, G, R, positive height (rows bottom-up), each row padded with
 * zero bytes to a multiple of 4, nothing after the last row. Such a file
 * passes the read rules above.
 */
#ifndef PIXORA_H
#define PIXORA_H

#if defined(__GNUC__)
#define PIXORA_API __attribute__((visibility("default")))
#else
#define PIXORA_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Results of both conversions. */
enum PixoraResult {
  PIXORA_OK = 0,                /* the destination holds the converted image */
  PIXORA_ERR_ARGUMENT = 1,      /* a null or empty argument, an unknown option
                                   or an unaccepted option value */
  PIXORA_ERR_READ = 2,          /* the source cannot be opened or read, or is
                                   not a regular file */
  PIXORA_ERR_FORMAT = 3,        /* the source is not an accepted BMP, or not a
                                   JPEG the decoder reads without error or
                                   warning (truncated, damaged, unsupported) */
  PIXORA_ERR_TOO_LARGE = 4,     /* the image is wider or taller than
                                   PIXORA_MAX_SIDE, or the file is larger than
                                   any image of that size can be */
  PIXORA_ERR_WRITE = 5,         /* the destination cannot be written */
  PIXORA_ERR_MEMORY = 6,        /* memory for the conversion ran out */
  PIXORA_ERR_ENCODE = 7         /* the JPEG encoder failed */
};

/* Largest accepted width and height, in pixels, of either conversion. */
#define PIXORA_MAX_SIDE 8192

/*
 * Converts a JPEG file to a 24-bit bottom-up BMP file.
 *
 * option:      must be "-bmp".
 * source:      path of a baseline or progressive JPEG file: YCbCr, RGB,
 *              greyscale (written as equal B, G, R) or CMYK/YCCK (Adobe
 *              inverted convention, converted with R = C*K/255 and so on).
 *              Its width and height are checked from the header before any
 *              pixel memory is allocated: above PIXORA_MAX_SIDE the call
 *              returns PIXORA_ERR_TOO_LARGE. Any decoder error or warning
 *              (a truncated file included) makes the call fail with
 *              PIXORA_ERR_FORMAT.
 * destination: path of the BMP file to create or replace.
 *
 * Returns PIXORA_OK or a PIXORA_ERR_* code; on failure the destination is
 * untouched.
 */
PIXORA_API int cvtJPEGTOBMP(const char *option, const char *source,
                            const char *destination);

/*
 * Converts a BMP file to a baseline JPEG file.
 *
 * option:      must be "-quality".
 * value:       the JPEG quality as a decimal number from "1" to "100",
 *              digits only. At 100 the colour planes are kept at full
 *              resolution (4:4:4) so that sharp colour edges survive; below
 *              100 they are halved in both directions (4:2:0).
 * source:      path of a BMP file that passes the read rules above.
 * destination: path of the JPEG file to create or replace.
 *
 * Returns PIXORA_OK or a PIXORA_ERR_* code; on failure the destination is
 * untouched.
 */
PIXORA_API int cvtBMPTOJPEG(const char *option, const char *value,
                            const char *source, const char *destination);

#ifdef __cplusplus
}
#endif

#endif /* PIXORA_H */
