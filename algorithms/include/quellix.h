/*
 * quellix.h - the vision library's public interface (libquellix.so).
 *
 * Plain C, usable from C and C++. Every function returns a signed 32-bit
 * result code: 0 success, 1000 a search found no pixel in its band, 1001 the
 * calibration target was not found.
 *
 * Image conventions
 * -----------------
 * The library keeps one process-wide registration of the current image, set
 * by qlxSetUp: width, height, rowStride, bytesPerPixel and two buffers that
 * belong to the caller, the frame (the image analysed) and the overlay (where
 * marks are painted). Both hold rowStride * height bytes. The library never
 * frees or keeps ownership of any buffer passed to it.
 *
 *   - The pixel at column x, row y starts at byte x * bytesPerPixel +
 *     y * rowStride. Row 0 is the top row. A pixel has three bytes, byte 0,
 *     1 and 2 in address order (blue, green, red in the program's buffers).
 *   - Every intensity test reads byte 2 of a pixel, except qlxBinarize, which
 *     reads byte 0. Grey or black-and-white results are written to all three
 *     bytes.
 *   - Every image pointer argument points at a buffer in the registered
 *     layout (rowStride * height bytes).
 *   - A "size" argument is the image size in bytes (rowStride * height).
 *
 * Regions: a count and a pointer to that many consecutive RoiRecords. Only
 * left, top, right and bottom are read (inclusive pixel bounds, compared as
 * unsigned numbers); the projections also read width and height. Regions are
 * processed in list order. A count of 0 means the whole image. Every region
 * is clipped to the registered image, so no argument makes the library read
 * or write outside the registered buffers.
 *
 * Marks are 2 x 2 blocks painted into the overlay at (x, y) .. (x+1, y+1),
 * only where 1 <= x <= width - 2 and 1 <= y <= height - 2.
 *
 * Blob colour indices 1..15 map to these values V (byte 0 = V & 0xFF,
 * byte 1 = (V >> 8) & 0xFF, byte 2 = (V >> 16) & 0xFF):
 *   1 0x800000   2 0x008000   3 0x808000   4 0x000080   5 0x800080
 *   6 0x00C0C0   7 0xC0C0C0   8 0x808080   9 0xFF0000  10 0x00FF00
 *  11 0xFFFF00  12 0x0000FF  13 0xFF00FF  14 0x00FFFF  15 0xFFFFFF
 *
 * Before the first qlxSetUp (or after one with an unusable geometry: a zero
 * width or height, fewer than 3 bytes per pixel, a row stride shorter than
 * width * bytesPerPixel or a null buffer) every operation does nothing and
 * returns its normal result.
 *
 * The library is not re-entrant: call it from one thread at a time.
 *
 * It runs on any x86-64-v2 processor and uses AVX2 where the processor has
 * it; results are the same either way. Setting the environment variable
 * QUELLIX_BASELINE to 1 before the library is loaded keeps it to the
 * baseline code (for testing).
 */
#ifndef QUELLIX_H
#define QUELLIX_H

#include <stddef.h>
#include <stdint.h>

#if defined(QUELLIX_BUILDING)
#define QLX_API __attribute__((visibility("default")))
#else
#define QLX_API
#endif

#ifdef __cplusplus
#define QLX_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
extern "C" {
#else
#define QLX_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif

#ifndef QLX_ROI_RECORD_DEFINED
#define QLX_ROI_RECORD_DEFINED
/* One region of interest, 44 bytes, the byte image stored in solution files.
 * Corners are inclusive image pixel coordinates. */
typedef struct RoiRecord {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
    int32_t width;       /* right - left */
    int32_t height;      /* bottom - top */
    int32_t entity_type; /* DXF entity kind: 1 points, 2 line, 3 circle */
    float rel_left;      /* left / image width */
    float rel_top;       /* top / image height */
    float rel_right;     /* right / image width */
    float rel_bottom;    /* bottom / image height */
} RoiRecord;
#endif

QLX_STATIC_ASSERT(sizeof(RoiRecord) == 44, "RoiRecord must be 44 bytes");
QLX_STATIC_ASSERT(offsetof(RoiRecord, entity_type) == 24, "RoiRecord layout");
QLX_STATIC_ASSERT(offsetof(RoiRecord, rel_bottom) == 40, "RoiRecord layout");

/* One blob found by qlxFindBlobs, filled by the library into an array that
 * the caller owns. Coordinates are image pixels. */
typedef struct BlobRecord {
    uint32_t pixelCount;  /* number of pixels in the blob */
    uint32_t colourIndex; /* colour index (1-6, 9-15) the blob was painted with */
    double cogX;          /* centre of gravity, mean x */
    double cogY;          /* centre of gravity, mean y */
    double weightX;       /* pixel count as a double, divisor of cogX */
    double weightY;       /* pixel count as a double, divisor of cogY */
    uint32_t minX;        /* bounding box, inclusive */
    uint32_t minY;
    uint32_t maxX;
    uint32_t maxY;
    double width;         /* maxX - minX (no + 1) */
    double height;        /* maxY - minY (no + 1) */
    uint32_t index;       /* list position at which the blob was stored */
} BlobRecord;

QLX_STATIC_ASSERT(sizeof(BlobRecord) == 80, "BlobRecord must be 80 bytes");
QLX_STATIC_ASSERT(offsetof(BlobRecord, minX) == 40, "BlobRecord layout");
QLX_STATIC_ASSERT(offsetof(BlobRecord, index) == 72, "BlobRecord layout");

/* Registers the current image. width and height in pixels, rowStride bytes
 * from one row to the next, bytesPerPixel bytes from one pixel to the next
 * (the program passes 3). frameImage and overlayImage stay owned by the
 * caller and must hold rowStride * height bytes each for as long as they are
 * registered. Stores the values and checks nothing. Returns 0. */
QLX_API int32_t qlxSetUp(uint32_t width, uint32_t height, uint32_t rowStride,
                         uint32_t bytesPerPixel, uint8_t *frameImage,
                         uint8_t *overlayImage);

/* Returns the library version, 8. May write up to 3 bytes to versionBuffer
 * (caller-owned, at least 3 bytes, may be null); their content is not part
 * of the interface. */
QLX_API int32_t qlxVersion(uint8_t *versionBuffer);

/* Binarises each region of image in place: byte 0 of a pixel below threshold
 * (unsigned compare) gives 0 in all three bytes, otherwise 255. Pixels outside
 * the regions are unchanged. imageSize is ignored. Returns 0. */
QLX_API int32_t qlxBinarize(uint8_t *image, uint32_t imageSize,
                            uint32_t regionCount, const RoiRecord *regions,
                            uint32_t threshold);

/* Stretches contrast per region and per byte channel, in place:
 * new = trunc((old - min) * factor) with factor = 255 / (max - min) rounded
 * to single precision (1 when max == min). Later regions see the output of
 * earlier ones. imageSize is ignored. Returns 0. */
QLX_API int32_t qlxNormalize(uint8_t *image, uint32_t imageSize,
                             uint32_t regionCount, const RoiRecord *regions);

/* Levels brightness of mirrored column pairs (i, width - 1 - i) of the whole
 * image, in place: the darker column (mean of byte 2, truncated) gets the
 * difference of the means added to all three bytes, modulo 256. imageSize is
 * ignored. Returns 0. */
QLX_API int32_t qlxEvenIntensity(uint8_t *image, uint32_t imageSize);

/* 3 x 3 uniform gradient edge filter. image is only read. edgeMap is a
 * caller-owned buffer of imageSize bytes in the image layout: it is cleared,
 * then every pixel with |Gx / 6| >= threshold or |Gy / 6| >= threshold
 * (row and column differences of the 3 x 3 neighbourhood, in floating point)
 * gets 255 in its three bytes, and a colour block (0, 0, 255) is painted at
 * it in the overlay. The border row and column of every region are skipped.
 * Pixels whose three bytes do not fit into imageSize bytes are never edges.
 * ignored is not used. Returns 0. */
QLX_API int32_t qlxSobel3(const uint8_t *image, uint32_t imageSize,
                          uint32_t regionCount, const RoiRecord *regions,
                          double threshold, uint8_t *edgeMap, uint32_t ignored);

/* Row profile of one region: for each row y in top..bottom,
 * out[y] = (sum of byte 2 over left..right) / region->width (unsigned,
 * truncating). out is caller-owned and indexed by absolute row, so it needs
 * bottom + 1 entries; other entries are not touched. Bounds are signed. A
 * width field of 0 leaves out untouched. Returns 0. */
QLX_API int32_t qlxProjX(const uint8_t *image, uint32_t ignored,
                         const RoiRecord *region, uint32_t *out);

/* Column profile of one region: for each column x in left..right,
 * out[x] = (sum of byte 2 over top..bottom) / region->height. out needs
 * right + 1 entries. A height field of 0 leaves out untouched. Returns 0. */
QLX_API int32_t qlxProjY(const uint8_t *image, uint32_t ignored,
                         const RoiRecord *region, uint32_t *out);

/* Walks row y from column x, one pixel a step (+1 when forward != 0, else
 * -1), testing the start pixel first. When mark != 0 a colour block
 * (0, 128, 128) is painted at every pixel visited. The first pixel with
 * low <= byte 2 <= high stores its column in *outX and returns 0. Leaving the
 * image (or a row outside it) returns 1000 and leaves *outX unchanged. */
QLX_API int32_t qlxSearchHorizontal(const uint8_t *image, uint32_t ignored,
                                    uint32_t x, uint32_t y, uint32_t forward,
                                    uint32_t low, uint32_t high, uint32_t mark,
                                    uint32_t *outX);

/* The same walk along column x from row y; stores the row in *outY. */
QLX_API int32_t qlxSearchVertical(const uint8_t *image, uint32_t ignored,
                                  uint32_t x, uint32_t y, uint32_t forward,
                                  uint32_t low, uint32_t high, uint32_t mark,
                                  uint32_t *outY);

/* Finds the 8-connected blobs of pixels with low <= byte 2 <= high inside the
 * regions and paints each in its colour into the overlay.
 *   image      the registered frame (read only)
 *   imageSize  rowStride * height
 *   minPixels, maxPixels  blobs with fewer or more pixels are discarded
 *              (they stay painted)
 *   mark       non-zero: a grey cross (value 128) at every stored blob's
 *              centre of gravity
 *   blobs      caller-owned array of at least maxBlobs records, filled in
 *              scan order
 *   outCount   receives the number of blobs stored (at most maxBlobs)
 * The search stops as soon as maxBlobs blobs are stored. A fill is cut off at
 * a chain depth of 6001 pixels, so one large object can come out as several
 * blobs. When the working memory cannot be allocated, *outCount is 0 and
 * nothing is painted. Returns 0. */
QLX_API int32_t qlxFindBlobs(const uint8_t *image, uint32_t imageSize,
                             uint32_t regionCount, const RoiRecord *regions,
                             uint32_t low, uint32_t high, uint32_t minPixels,
                             uint32_t maxPixels, uint32_t mark,
                             BlobRecord *blobs, uint32_t *outCount,
                             uint32_t maxBlobs);

/* qlxFindBlobs, and also writes the label map into labelMap, a caller-owned
 * buffer of imageSize bytes in the image layout: zero everywhere except the
 * pixels put into a blob, whose three bytes hold the label n + 1 (24 bits,
 * low byte first) of list position n. A discarded blob carries the label of
 * the blob later stored in its slot. When the working memory cannot be
 * allocated, labelMap is left untouched. Returns 0. */
QLX_API int32_t qlxFindBlobsMap(const uint8_t *image, uint32_t imageSize,
                                uint32_t regionCount, const RoiRecord *regions,
                                uint32_t low, uint32_t high, uint32_t minPixels,
                                uint32_t maxPixels, uint32_t mark,
                                BlobRecord *blobs, uint32_t *outCount,
                                uint32_t maxBlobs, uint8_t *labelMap);

/* Sorts count blobs in place by pixelCount, largest first, when kind is 1 or
 * 2 (an exchange sort: equal counts keep the order that procedure gives).
 * Other kinds leave the list unchanged. Returns 0. */
QLX_API int32_t qlxSortBlobList(uint32_t kind, BlobRecord *blobs,
                                uint32_t count);

/* Finds the calibration target (a dark ring around a bright centre disc of
 * half its outer diameter) in the regions of image, trying the thresholds
 * 40, 45, ... 235. distance and flag are ignored. On success stores the
 * scale (outer ring radius in pixels / 3, pixels per unit) in *outScaleX and
 * *outScaleY, 0.0 in *outThird, and returns 0. Returns 1001 when the target
 * is not found, leaving the outputs unchanged. The overlay is cleared and
 * shows the blobs of the last threshold tried. */
QLX_API int32_t qlxStandardCalibration(const uint8_t *image, uint32_t imageSize,
                                       uint32_t regionCount,
                                       const RoiRecord *regions,
                                       double distance, int32_t flag,
                                       double *outScaleX, double *outScaleY,
                                       double *outThird);

/* Direction in degrees, in [0, 360), from image point (x1, y1) to (x2, y2),
 * counter-clockwise from the positive x axis with y pointing up (image rows
 * grow downwards). Equal points give 0. Stores it in *outAngle. Returns 0. */
QLX_API int32_t qlxCalculateAngle(double x1, double y1, double x2, double y2,
                                  double *outAngle);

#ifdef __cplusplus
}
#endif

#endif /* QUELLIX_H */
