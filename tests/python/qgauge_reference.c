/* The gauge library called straight from C, for the Python module's tests:
 * each command runs one function on a grey PGM (P5) picture and prints the
 * result code and every figure with 17 significant digits, so the test can
 * hold the module's results against the library's own.
 *
 *   caliper PGM cx cy length width angle polarity select
 *   pair    PGM cx cy length width angle polarity select
 *   circle  PGM cx cy r spokes length width
 *   line|circlefit robust      (points "x y" on standard input)
 *   part    PGM x0 y0 x1 y1 PGM minScore maxCount   (then the model's bytes in hex) */
#include <qgauge.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static uint8_t *readPgm(const char *path, qgImage *im) {
    FILE *f = fopen(path, "rb");
    int w, h, maxval;
    if (!f || fscanf(f, "P5 %d %d %d", &w, &h, &maxval) != 3 || fgetc(f) == EOF || w < 1 || h < 1) exit(2);
    uint8_t *px = malloc((size_t)w * (size_t)h);
    if (!px || fread(px, 1, (size_t)w * (size_t)h, f) != (size_t)w * (size_t)h) exit(2);
    fclose(f);
    *im = (qgImage){px, w, h, w, 1};
    return px;
}

static void printEdge(const qgEdge *e) { printf(" %.17g %.17g %.17g %.17g", e->x, e->y, e->uncertainty, e->contrast); }

static void printCircle(const qgCircle *c) {
    printf(" %.17g %.17g %.17g %.17g %.17g %.17g %.17g", c->cx, c->cy, c->r, c->uCx, c->uCy, c->uR, c->rms);
}

static int caliper(char **a, int pair) {
    qgImage im;
    uint8_t *px = readPgm(a[0], &im);
    qgRect r = {atof(a[1]), atof(a[2]), atof(a[3]), atof(a[4]), atof(a[5])};
    qgCaliperParams p;
    qgCaliperDefaults(&p);
    p.polarity = atoi(a[6]);
    p.select = atoi(a[7]);
    if (pair) {
        qgEdgePairResult res;
        int code = qgEdgePair(&im, &r, &p, &res);
        printf("%d", code);
        if (code == QG_OK) {
            printf(" %.17g %.17g", res.width, res.uncertainty);
            printEdge(&res.first);
            printEdge(&res.second);
        }
    } else {
        qgEdge edges[256];
        int32_t n = 0;
        int code = qgEdgeCaliper(&im, &r, &p, edges, 256, &n);
        printf("%d %d", code, n);
        for (int i = 0; i < n && i < 256; ++i) printEdge(&edges[i]);
    }
    printf("\n");
    free(px);
    return 0;
}

static int circle(char **a) {
    qgImage im;
    uint8_t *px = readPgm(a[0], &im);
    qgCircleGaugeParams g;
    memset(&g, 0, sizeof g);
    g.cx = atof(a[1]);
    g.cy = atof(a[2]);
    g.r = atof(a[3]);
    g.spokes = atoi(a[4]);
    g.spokeLength = atof(a[5]);
    g.spokeWidth = atof(a[6]);
    qgCaliperDefaults(&g.caliper);
    qgFitDefaults(&g.fit);
    qgCircle c;
    int code = qgCircleGauge(&im, &g, &c, NULL);
    printf("%d", code);
    if (code == QG_OK) printCircle(&c);
    printf("\n");
    free(px);
    return 0;
}

static int fit(const char *shape, int robust) {
    static qgPoint pts[100000];
    int32_t n = 0;
    while (n < 100000 && scanf("%lf %lf", &pts[n].x, &pts[n].y) == 2) ++n;
    qgFitParams f;
    qgFitDefaults(&f);
    f.robust = robust;
    int code;
    if (strcmp(shape, "line") == 0) {
        qgLine l;
        code = qgFitLine(pts, n, &f, &l, NULL);
        printf("%d", code);
        if (code == QG_OK) printf(" %.17g %.17g %.17g %.17g %.17g %.17g", l.x, l.y, l.angle, l.uAngle, l.uPosition, l.rms);
    } else {
        qgCircle c;
        code = qgFitCircle(pts, n, &f, &c, NULL);
        printf("%d", code);
        if (code == QG_OK) printCircle(&c);
    }
    printf("\n");
    return 0;
}

static int part(char **a) {
    qgImage taught, searched;
    uint8_t *px = readPgm(a[0], &taught), *px2 = readPgm(a[5], &searched);
    qgBox box = {atof(a[1]), atof(a[2]), atof(a[3]), atof(a[4])};
    qgPartModel *model = NULL;
    int code = qgPartTrain(&taught, &box, NULL, &model);
    if (code != QG_OK) {
        printf("%d\n", code);
        return 0;
    }
    qgPartFindParams p;
    qgPartFindDefaults(&p);
    p.minScore = atof(a[6]);
    p.maxInstances = atoi(a[7]);
    qgPartInstance found[QG_PART_MAX_INSTANCES];
    int32_t n = 0;
    code = qgPartFind(&searched, model, &p, found, QG_PART_MAX_INSTANCES, &n);
    printf("%d %d", code, n);
    for (int i = 0; i < n; ++i)
        printf(" %.17g %.17g %.17g %.17g %.17g %.17g %.17g", found[i].x, found[i].y, found[i].angle, found[i].score,
               found[i].ux, found[i].uy, found[i].uangle);
    size_t size = 0;
    qgPartModelSize(model, &size);
    uint8_t *bytes = malloc(size);
    qgPartModelSave(model, bytes, size);
    printf("\n");
    for (size_t i = 0; i < size; ++i) printf("%02x", bytes[i]);
    printf("\n");
    free(bytes);
    qgPartModelFree(model);
    free(px);
    free(px2);
    return 0;
}

int main(int argc, char **argv) {
    if (argc >= 10 && strcmp(argv[1], "caliper") == 0) return caliper(argv + 2, 0);
    if (argc >= 10 && strcmp(argv[1], "pair") == 0) return caliper(argv + 2, 1);
    if (argc >= 9 && strcmp(argv[1], "circle") == 0) return circle(argv + 2);
    if (argc >= 3 && (strcmp(argv[1], "line") == 0 || strcmp(argv[1], "circlefit") == 0))
        return fit(argv[1], atoi(argv[2]));
    if (argc >= 10 && strcmp(argv[1], "part") == 0) return part(argv + 2);
    fprintf(stderr, "usage: see the file's header\n");
    return 2;
}
