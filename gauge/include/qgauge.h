/*
 * qgauge.h - the gauge library's public interface (libqgauge.so).
 *
 * Sub-pixel edge calipers, edge pairs (widths), robust line and circle fits
 * and the circle gauge, each result with its standard uncertainty.
 *
 * Plain C, usable from C and C++. Every function returns a signed 32-bit
 * result code (the QG_* constants below): 0 success, a positive code when
 * the search ran but found nothing usable, a negative code when an argument
 * was refused. On any non-zero code no output is written, except where a
 * function says otherwise (the found count of a caliper, set to 0).
 *
 * Threads
 * -------
 * The library keeps no state between calls: every function is re-entrant
 * and may run on any number of threads at once. Images and results are
 * passed explicitly; nothing is registered. Working memory is allocated
 * per call and freed before it returns.
 *
 * Coordinates
 * -----------
 * Positions are image pixel coordinates in doubles: x grows to the right,
 * y downwards, and the pixel in column i, row j covers the square
 * [i, i+1) x [j, j+1), so its centre is (i + 0.5, j + 0.5). The image
 * covers [0, width] x [0, height]. To convert from whole pixel indices
 * (the centre of pixel (i, j)) add 0.5; to convert back subtract 0.5.
 * Angles are in radians, measured from the +x axis towards +y (clockwise
 * on the screen, since y points down).
 *
 * Intensity
 * ---------
 * With 1 byte a pixel the intensity is that byte; with 3 or 4 bytes it is
 * byte 2 (red in the station's blue, green, red buffers), as in the vision
 * library.
 *
 * Uncertainties
 * -------------
 * A standard uncertainty u is one standard deviation of the result's error
 * from image noise, as estimated from the data (the noise level of the
 * pixels, the scatter of fitted points). About 95 % of results lie within
 * +-2u of the true value when the model (a straight, blurred edge; points
 * on a line or circle) holds.
 */
#ifndef QGAUGE_H
#define QGAUGE_H

#include <stddef.h>
#include <stdint.h>

#if defined(QGAUGE_BUILDING)
#define QG_API __attribute__((visibility("default")))
#else
#define QG_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Interface level returned by qgVersion: grows when functions are added. */
#define QG_VERSION 3

/* Result codes. */
#define QG_OK 0
#define QG_NOT_FOUND 1          /* no edge (pair, enough spokes) passed the tests */
#define QG_ERR_NULL (-1)        /* a required pointer is null */
#define QG_ERR_IMAGE (-2)       /* unusable image: size, stride or bytes a pixel */
#define QG_ERR_ARGUMENT (-3)    /* a NaN, infinite, zero, negative or unknown parameter */
#define QG_ERR_OUTSIDE (-4)     /* the region reaches outside the image */
#define QG_ERR_TOO_FEW (-5)     /* fewer points than the fit needs */
#define QG_ERR_DEGENERATE (-6)  /* the points do not define the shape (all equal, collinear) */
#define QG_ERR_TOO_LARGE (-7)   /* region or point count beyond the library's limits */
#define QG_ERR_MEMORY (-8)      /* working memory could not be allocated */
#define QG_ERR_DAMAGED (-9)     /* serialised bytes refused: not a model, damaged or hostile */

/* Limits: a caliper samples at most QG_MAX_SAMPLES points (one a pixel
 * along and across); fits take at most QG_MAX_POINTS points; a circle
 * gauge has at most QG_MAX_SPOKES spokes. */
#define QG_MAX_SAMPLES (1 << 22)
#define QG_MAX_POINTS (1 << 24)
#define QG_MAX_SPOKES 4096

/* Edge polarity along the caliper's axis (in the direction of its angle). */
typedef enum qgPolarity {
    QG_POLARITY_EITHER = 0,
    QG_POLARITY_DARK_TO_LIGHT = 1, /* intensity rises along the axis */
    QG_POLARITY_LIGHT_TO_DARK = 2  /* intensity falls along the axis */
} qgPolarity;

/* Which edges a caliper returns, in axis order. */
typedef enum qgSelect {
    QG_SELECT_FIRST = 0,     /* the first edge along the axis */
    QG_SELECT_LAST = 1,      /* the last edge along the axis */
    QG_SELECT_STRONGEST = 2, /* the edge (pair) of largest contrast */
    QG_SELECT_ALL = 3        /* every edge, in axis order */
} qgSelect;

/* An image owned by the caller, only read. The pixel in column x, row y
 * starts at byte x * bytesPerPixel + y * stride of pixels. width and height
 * are at least 1; bytesPerPixel is 1, 3 or 4; stride is at least
 * width * bytesPerPixel. pixels holds stride * (height - 1) +
 * width * bytesPerPixel bytes. */
typedef struct qgImage {
    const uint8_t *pixels;
    int32_t width;
    int32_t height;
    int32_t stride;
    int32_t bytesPerPixel;
} qgImage;

/* A rotated rectangle: centre (cx, cy), length along its axis, width across
 * it, the axis direction angle in radians. length and width are at least 1
 * pixel; all four corners lie inside the image ([0, width] x [0, height]). */
typedef struct qgRect {
    double cx;
    double cy;
    double length;
    double width;
    double angle;
} qgRect;

typedef struct qgPoint {
    double x;
    double y;
} qgPoint;

/* Caliper settings.
 *   sigma      smoothing of the axis profile: the Gaussian derivative's
 *              sigma in pixels, 0.5 .. 20 (1 suits sharp images)
 *   threshold  minimum edge strength in grey levels, >= 0: the smoothed
 *              derivative scaled so that an ideal sharp step of contrast C
 *              gives C (a step blurred by b gives C * sigma /
 *              sqrt(sigma^2 + b^2))
 *   polarity   a qgPolarity
 *   select     a qgSelect
 *   noise      standard deviation of the pixel noise in grey levels for the
 *              uncertainties, or 0 to estimate it from the pixels under the
 *              rectangle; >= 0 */
typedef struct qgCaliperParams {
    double sigma;
    double threshold;
    int32_t polarity;
    int32_t select;
    double noise;
} qgCaliperParams;

/* One located edge. */
typedef struct qgEdge {
    double x;           /* image position of the edge on the rectangle's axis */
    double y;
    double position;    /* signed distance along the axis from the centre, px */
    double uncertainty; /* standard uncertainty of position (and of x, y along the axis), px */
    double contrast;    /* grey-level step along the axis: > 0 dark to light, < 0 light to dark */
    double spread;      /* the edge's blur (sigma of a Gaussian-blurred step), px */
    int32_t polarity;   /* QG_POLARITY_DARK_TO_LIGHT or QG_POLARITY_LIGHT_TO_DARK */
} qgEdge;

/* A width: two edges of opposite polarity along the axis. */
typedef struct qgEdgePairResult {
    qgEdge first;       /* the edge nearer the start of the axis */
    qgEdge second;
    double width;       /* second.position - first.position, px */
    double uncertainty; /* standard uncertainty of width, px (the two edges' correlation included) */
} qgEdgePairResult;

/* A fitted line: direction angle in (-pi/2, pi/2], through (x, y), the
 * weighted centroid of the points. */
typedef struct qgLine {
    double x;
    double y;
    double angle;
    double uPosition; /* standard uncertainty of the line's offset normal to itself at (x, y), px */
    double uAngle;    /* standard uncertainty of angle, radians */
    double rms;       /* residual RMS distance of the inliers, px */
    int32_t inliers;  /* points with a non-zero robust weight */
} qgLine;

/* A fitted circle. */
typedef struct qgCircle {
    double cx;
    double cy;
    double r;
    double uCx;      /* standard uncertainties, px */
    double uCy;
    double uR;
    double rms;      /* residual RMS distance of the inliers, px */
    int32_t inliers; /* points with a non-zero robust weight */
} qgCircle;

/* Fit settings.
 *   robust     0: plain least squares; 1: iteratively reweighted with
 *              Tukey's biweight, so that outliers (burrs, dust, a wrong
 *              edge) get weight 0
 *   tuning     the biweight's cut-off in robust standard deviations of the
 *              residuals; 0 selects 4.685; otherwise >= 1
 *   minScale   smallest robust scale in px (a floor for near-perfect
 *              points); 0 selects 0.01; >= 0 */
typedef struct qgFitParams {
    int32_t robust;
    double tuning;
    double minScale;
} qgFitParams;

/* Circle gauge settings: spokes radial calipers, evenly spread from angle
 * 0, each of spokeLength x spokeWidth centred on the approximate circle
 * (cx, cy, r) and pointing outwards; polarity refers to that direction. The
 * caliper settings apply to every spoke (select QG_SELECT_ALL is refused);
 * a spoke that finds no edge is left out. spokes is 3 .. QG_MAX_SPOKES. */
typedef struct qgCircleGaugeParams {
    double cx;
    double cy;
    double r;
    int32_t spokes;
    double spokeLength;
    double spokeWidth;
    qgCaliperParams caliper;
    qgFitParams fit;
} qgCircleGaugeParams;

/* One spoke of a circle gauge. */
typedef struct qgSpoke {
    qgEdge edge;   /* the edge found (position corrected for the spoke's curvature) */
    int32_t found; /* 1 when the spoke found an edge */
    double weight; /* its robust weight in the fit, 0 .. 1 (0 when not found) */
} qgSpoke;

/* Returns QG_VERSION. */
QG_API int32_t qgVersion(void);

/* Fills *params with the defaults: sigma 1, threshold 20, either polarity,
 * the strongest edge, noise estimated. */
QG_API int32_t qgCaliperDefaults(qgCaliperParams *params);

/* Fills *params with the defaults: robust, tuning 4.685, minScale 0.01. */
QG_API int32_t qgFitDefaults(qgFitParams *params);

/* Edge caliper. The rectangle is sampled bilinearly at one-pixel steps
 * along its axis (on pixel centres when the axis is horizontal or
 * vertical) in round(width) rows one pixel apart, symmetric about the axis;
 * the rows are averaged into a profile along the axis,
 * the profile smoothed with a Gaussian derivative of params->sigma, and
 * every extremum of the right polarity at least params->threshold strong
 * becomes an edge, located to a sub-pixel position where the profile
 * crosses the middle of its two levels.
 *   edges     caller-owned array of capacity records (capacity >= 1)
 *   count     receives the number of edges found (for QG_SELECT_ALL
 *             possibly more than capacity; only the first capacity are
 *             stored), 0 with QG_NOT_FOUND
 * Returns QG_OK, QG_NOT_FOUND, or an error code. */
QG_API int32_t qgEdgeCaliper(const qgImage *image, const qgRect *rect,
                             const qgCaliperParams *params, qgEdge *edges,
                             int32_t capacity, int32_t *count);

/* Edge pair caliper: the width between two edges of opposite polarity that
 * follow each other along the axis. params->polarity is the polarity of the
 * first edge (QG_POLARITY_DARK_TO_LIGHT finds a light bar on dark);
 * params->select picks the first, last or strongest pair (strongest: the
 * largest weaker contrast of the two); QG_SELECT_ALL is refused. The two
 * edges found are refined together: a bar of two blurred edges, three grey
 * levels, one blur and one tilt against the axis fitted to the pixels whose
 * centres lie under the rectangle; positions are where the edges cross the
 * axis. Returns QG_OK, QG_NOT_FOUND, or an error code. */
QG_API int32_t qgEdgePair(const qgImage *image, const qgRect *rect,
                          const qgCaliperParams *params,
                          qgEdgePairResult *result);

/* Total least squares line through count points (count >= 2; robust fits
 * need >= 3 inliers to judge outliers). fit may be null for the defaults.
 * weights, if not null, receives count robust weights (0 .. 1). With no
 * point beyond the two the line needs, nothing measures the scatter and
 * the uncertainties are +infinity. Points are finite, |x|, |y| <= 1e9.
 * QG_ERR_DEGENERATE when all points coincide. */
QG_API int32_t qgFitLine(const qgPoint *points, int32_t count,
                         const qgFitParams *fit, qgLine *line,
                         double *weights);

/* Circle through count points (count >= 3): an algebraic fit to start, then
 * geometric least squares (distances to the circle) with the robust
 * weights. fit may be null for the defaults. weights, if not null, receives
 * count robust weights. With only three inliers the uncertainties are
 * +infinity. QG_ERR_DEGENERATE when the points are collinear or coincide. */
QG_API int32_t qgFitCircle(const qgPoint *points, int32_t count,
                           const qgFitParams *fit, qgCircle *circle,
                           double *weights);

/* Circle gauge: the spokes, then qgFitCircle on their edges. Each edge is
 * moved out along its spoke for the curvature: averaging rows across a
 * curved edge and the blur of a curved edge both pull it towards the
 * centre, by about (mean squared row offset + blur^2) / (2 r). Where spokes
 * are closer than their footprint (n * (width + 1) > 2 pi r) they share
 * pixels, and the uncertainties grow by sqrt(f (m - 3) / (m - 3 f)), with
 * f = n * (width + 1) / (2 pi r) the spokes an error is shared by and m the
 * inliers (the fit absorbs f times as much of correlated residuals).
 * Clutter a spoke meets (an edge off the first fit's circle) reaches faintly
 * into the spokes beside it: they measure their two grey levels without
 * the stretch its blur reaches (3 blur sigmas either side). A spoke whose
 * selected edge is itself such clutter (off the first fit by more than 3
 * blur sigmas + 2 px) takes instead its edge of the rim's polarity (the one
 * most kept spokes found) nearest that circle, if one lies within the same
 * distance of it, located without the clutter's stretch; otherwise it is
 * left to the robust fit. An image without clutter takes neither step.
 *   spokes   optional (may be null): caller-owned array of params->spokes
 *            records, one per spoke
 * With only three inliers the uncertainties are +infinity, as for
 * qgFitCircle. Returns QG_OK, QG_NOT_FOUND when fewer than 3 spokes found an edge, or
 * an error code. */
QG_API int32_t qgCircleGauge(const qgImage *image,
                             const qgCircleGaugeParams *params,
                             qgCircle *circle, qgSpoke *spokes);

/* Part locator (interface level 2)
 * ------------
 * A part model is taught once from a box of a picture: sub-pixel edge
 * points with their gradient directions (the direction in which the
 * intensity rises), in the model's frame whose origin is the box's centre
 * and whose angle is 0. qgPartFind then locates the part anywhere in a
 * picture at any rotation: a coarse search of quantised gradient
 * orientations over an image pyramid (2x2 averaging), refined down the
 * levels, then a least-squares fit of the pose to the sub-pixel edges found
 * by a 1-D caliper along each model point's normal at full resolution.
 * Unlike the rest of this header, the locator's angles are in DEGREES,
 * from +x towards +y, in (-180, 180]. A model is opaque, owned by the
 * caller (qgPartModelFree), only read by qgPartFind: one model may serve
 * any number of threads at once. */

#define QG_PART_MAX_POINTS 4096    /* model edge points, taught or loaded */
#define QG_PART_MAX_INSTANCES 64   /* instances one qgPartFind reports */

/* Warnings of a taught model (bits of qgPartModelInfo's flags; the model is
 * still usable, its poses along the weak direction are not). */
#define QG_PART_NO_ANGLE 1     /* the edges cannot fix a rotation (a circle) */
#define QG_PART_NO_POSITION 2  /* edge directions too uniform (a straight bar) */
#define QG_PART_GRID_ALIGNED 4 /* nearly all edges run along the pixel grid */

/* An axis-aligned box [x0, x1) x [y0, y1) in image coordinates. */
typedef struct qgBox {
    double x0;
    double y0;
    double x1;
    double y1;
} qgBox;

typedef struct qgPartModel qgPartModel;

/* Teaching settings.
 *   maxPoints  the model keeps at most this many edge points, spread evenly
 *              along its edges: 16 .. QG_PART_MAX_POINTS (default 300)
 *   threshold  minimum gradient in grey levels a pixel for an edge point,
 *              or 0 to derive it from the box's strongest edges; >= 0 */
typedef struct qgPartTrainParams {
    int32_t maxPoints;
    double threshold;
} qgPartTrainParams;

/* Search settings.
 *   search       where the model's origin may lie; all zero: anywhere in
 *                the image
 *   angleMin, angleMax  range of the part's rotation in degrees,
 *                angleMin <= angleMax, angleMax - angleMin <= 360
 *                (default -180 .. 180: the whole turn)
 *   minScore     share of the model's edge points that must find a
 *                matching edge (same gradient direction within a
 *                tolerance, within a pixel of the found pose): (0, 1],
 *                default 0.7
 *   polarity     QG_POLARITY_EITHER accepts a part whose contrast is
 *                reversed; any other value (default QG_POLARITY_DARK_TO_LIGHT)
 *                requires the taught contrast
 *   maxInstances 1 .. QG_PART_MAX_INSTANCES (default 1)
 *   minDistance  instances whose origins lie closer are one (the better
 *                kept), pixels; 0 (default): half the model box's smaller side */
typedef struct qgPartFindParams {
    qgBox search;
    double angleMin;
    double angleMax;
    double minScore;
    int32_t polarity;
    int32_t maxInstances;
    double minDistance;
} qgPartFindParams;

/* One found part: where the model's origin lies, the angle by which the
 * part turned, the score (share of model points matched) and the standard
 * uncertainties of x, y (pixels) and angle (degrees) from the scatter of
 * the edge points about the fitted pose. The scatter holds the model's own
 * edge errors (it was taught from a noisy picture too) as well as the
 * picture's: over parts and models about 95 % of the errors lie within
 * +-2u, while one model adds the same small offset to every find. */
typedef struct qgPartInstance {
    double x;
    double y;
    double angle;
    double score;
    double ux;
    double uy;
    double uangle;
} qgPartInstance;

QG_API int32_t qgPartTrainDefaults(qgPartTrainParams *params);
QG_API int32_t qgPartFindDefaults(qgPartFindParams *params);

/* Teaches a model from the pixels whose centres lie in *box (at least 8
 * pixels each way, inside the image). params may be null for the defaults.
 * On QG_OK *model receives a new model (free it with qgPartModelFree).
 * Returns QG_OK, QG_NOT_FOUND when fewer than 16 edge points were found,
 * or an error code. */
QG_API int32_t qgPartTrain(const qgImage *image, const qgBox *box,
                           const qgPartTrainParams *params, qgPartModel **model);

/* As qgPartTrain, with a mask of don't-care pixels: mask has the image's
 * width and height and one byte a pixel; where it is not 0 the pixel is
 * left out of the model: no model point lies on it and no point's edge is
 * located from it. The model's frame is still the box's. A mask of another
 * size or depth is refused with QG_ERR_IMAGE. */
QG_API int32_t qgPartTrainMasked(const qgImage *image, const qgBox *box,
                                 const qgImage *mask,
                                 const qgPartTrainParams *params,
                                 qgPartModel **model);

/* Frees a model; null is allowed. */
QG_API void qgPartModelFree(qgPartModel *model);

/* The model's edge point count, its QG_PART_* warning flags and its box
 * size; any output pointer may be null. */
QG_API int32_t qgPartModelInfo(const qgPartModel *model, int32_t *points,
                               int32_t *flags, double *width, double *height);

/* The model's edge point i (0 .. points - 1) in the model's frame and its
 * unit normal (the direction in which the intensity rises). */
QG_API int32_t qgPartModelPoint(const qgPartModel *model, int32_t i,
                                qgPoint *position, qgPoint *normal);

/* Finds the part. instances is a caller-owned array of capacity records
 * (capacity >= params->maxInstances), filled best score first; *count
 * receives the number found (0 with QG_NOT_FOUND). params may be null for
 * the defaults. Returns QG_OK, QG_NOT_FOUND, or an error code. */
QG_API int32_t qgPartFind(const qgImage *image, const qgPartModel *model,
                          const qgPartFindParams *params,
                          qgPartInstance *instances, int32_t capacity,
                          int32_t *count);

/* A found part's size against the taught one, and its standard
 * uncertainty (0 where the scale was not searched). */
typedef struct qgPartScale {
    double scale;
    double uscale;
} qgPartScale;

/* As qgPartFind, the part's size also searched: scaleMin .. scaleMax
 * (0.5 <= scaleMin <= scaleMax <= 2; both 1 is qgPartFind; both equal
 * another value looks for that size only). The found origin is where the
 * taught box's centre lies on the grown or shrunk part. scales (may be
 * null) is a caller-owned array of capacity records receiving each
 * instance's scale, in the instances' order. The search's cost grows with
 * the range: one more coarse scan, the main cost of a find, for every 4 to
 * 8 % of scale. */
QG_API int32_t qgPartFindScaled(const qgImage *image, const qgPartModel *model,
                                const qgPartFindParams *params,
                                double scaleMin, double scaleMax,
                                qgPartInstance *instances, qgPartScale *scales,
                                int32_t capacity, int32_t *count);

/* Serialised size of a model in bytes. */
QG_API int32_t qgPartModelSize(const qgPartModel *model, size_t *size);

/* Writes the model into bytes[0 .. size) (size from qgPartModelSize; a
 * smaller capacity is refused with QG_ERR_ARGUMENT). The bytes are
 * little-endian, versioned and checksummed, the same on every machine. */
QG_API int32_t qgPartModelSave(const qgPartModel *model, uint8_t *bytes,
                               size_t capacity);

/* Reads a model back: QG_ERR_DAMAGED for bytes that are not a whole, intact
 * model of a known version with values in range. On QG_OK *model receives
 * a new model. */
QG_API int32_t qgPartModelLoad(const uint8_t *bytes, size_t size,
                               qgPartModel **model);

#ifdef __cplusplus
}
#endif

#endif /* QGAUGE_H */
