// The gauge library's part locator: pose accuracy against synthetic ground
// truth, finds with occlusion, without the part and with two parts, the
// same pictures searched with OpenCV beside it, then speed (Google
// Benchmark, one thread, whole turn, one instance).
//
// Accuracy protocol (printed first; LOCATOR_TRIALS sets the trials, default
// 500; LOCATOR_TRIALS=0 skips it):
//   Renders: exact area sampling of a plate 220 x 120 px with a notch and
//   three holes (tests/gauge/render.h drawPlate), level 160 on 60 (contrast
//   100), a Gaussian blur of sigma 1 px, Gaussian noise of sigma 2, rounded
//   to 8 bits. A model is taught from the plate at angle 0 centred in a
//   320 x 240 render (box 260 x 160 about its centre).
//   - Pose: a 640 x 480 render, the plate's centre uniform within 40 px of
//     the picture's centre, its angle uniform over the whole turn. Errors of
//     x, y (px) and angle (degrees): bias (mean), sd, the share within +-2
//     reported standard uncertainties, and the mean reported u. The model
//     is taught anew for each trial from a picture of its own noise: the
//     reported u holds the model's own error as well as the find's, and
//     with a single model that error is one fixed offset, the same in every
//     trial. The figures with one model for all trials follow.
//   - Occluded: as Pose with the plate's end beyond 85 px from its centre
//     (a quarter of the outline) under a box of grey 110, and a disc of the
//     plate's grey beside it: the share found within 0.1 px (one model).
//   - Absent: a turned box the plate's size, a disc and a smaller box of the
//     plate's grey at random places, no plate (2 pictures for every 5
//     trials, at least 1): the share in which anything was found.
//   - Two parts: an 800 x 480 render with two plates at random angles, one
//     in each half (a picture for every 5 trials, at least 1), maxInstances
//     4: the share in which both, and only they, were found within 0.1 px.
//   - OpenCV (where it is built): LOCATOR_OPENCV pose pictures (default 5)
//     also searched by a matchTemplate sweep (normalised correlation with
//     the teach box rotated in 360 steps of 1 degree, the best peak over
//     the angles) and by GeneralizedHoughGuil (the same template, 1 degree
//     steps), each on one thread: the median CPU time a picture and the
//     mean absolute errors, beside the locator's on the same pictures.
#include <benchmark/benchmark.h>

#include "gauge/include/qgauge.h"
#include "tests/gauge/render.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>

#ifdef ORVANE_HAVE_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

using namespace gauge_render;
constexpr double kBack = 60, kPlate = 160;

struct Picture : Picture8 {
    qgImage image() const { return {px.data(), w, h, w, 1}; }
};

template <class Extra>
Picture render(int w, int h, bool plate, double x, double y, double deg, std::mt19937_64& rng, Extra extra) {
    return {renderPicture(w, h, kBack, 1.0, 2.0, rng, [&](Canvas& c) {
        if (plate) drawPlate(c, x, y, deg * M_PI / 180, kPlate, kBack);
        extra(c);
    })};
}

using Model = std::unique_ptr<qgPartModel, decltype(&qgPartModelFree)>;

Picture teachPicture(uint64_t seed) {
    std::mt19937_64 rng(seed);
    return render(320, 240, true, 160, 120, 0, rng, [](Canvas&) {});
}

Model teach(uint64_t seed) {
    const Picture p = teachPicture(seed);
    const qgImage im = p.image();
    const qgBox box{30, 40, 290, 200};
    qgPartModel* raw = nullptr;
    if (qgPartTrain(&im, &box, nullptr, &raw) != QG_OK) std::abort();
    return Model(raw, qgPartModelFree);
}

const qgPartModel* model() {
    static Model m = teach(1);
    return m.get();
}

double cpuMs() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec * 1e-6;
}

double median(std::vector<double> v) {
    if (v.empty()) return NAN;
    std::nth_element(v.begin(), v.begin() + static_cast<long>(v.size() / 2), v.end());
    return v[v.size() / 2];
}

struct Stats {
    double s = 0, s2 = 0, us = 0;
    int n = 0, inside = 0;
    void add(double e, double u) { s += e; s2 += e * e; us += u; ++n; inside += std::fabs(e) <= 2 * u; }
    double mean() const { return n ? s / n : NAN; }
    double sd() const { return n > 1 ? std::sqrt(std::max(0.0, (s2 - s * s / n) / (n - 1))) : NAN; }
    void print(const char* what) const {
        std::printf("  %-6s bias %+.4f  sd %.4f  mean u %.4f  within 2u %.1f %%\n", what, mean(), sd(),
                    us / std::max(n, 1), 100.0 * inside / std::max(n, 1));
    }
};

struct PoseStats {
    Stats x, y, a;
    void add(const qgPartInstance& f, double px, double py, double deg) {
        x.add(f.x - px, f.ux);
        y.add(f.y - py, f.uy);
        a.add(std::remainder(f.angle - deg, 360.0), f.uangle);
    }
    void print() const {
        x.print("x px");
        y.print("y px");
        a.print("angle");
    }
};

int findAll(const Picture& p, const qgPartModel* m, qgPartInstance* f, int most) {
    const qgImage im = p.image();
    qgPartFindParams fp;
    qgPartFindDefaults(&fp);
    fp.maxInstances = most;
    int32_t n = 0;
    return qgPartFind(&im, m, &fp, f, most, &n) == QG_OK ? n : 0;
}

bool findOne(const Picture& p, qgPartInstance& f) { return findAll(p, model(), &f, 1) == 1; }

struct Placement {
    double x, y, deg;
};

Placement randomPose(std::mt19937_64& rng) {
    std::uniform_real_distribution<double> U(0, 1);
    const double x = 320 + 80 * (U(rng) - 0.5), y = 240 + 80 * (U(rng) - 0.5);
    return {x, y, 360 * U(rng) - 180};
}

Picture posePicture(const Placement& p, std::mt19937_64& rng) {
    return render(640, 480, true, p.x, p.y, p.deg, rng, [](Canvas&) {});
}

void poses(int trials, std::mt19937_64& rng) {
    PoseStats fresh, one;
    int missed = 0, occFound = 0;
    for (int t = 0; t < trials; ++t) {
        const Placement p = randomPose(rng);
        const Picture pic = posePicture(p, rng);
        const Model own = teach(1000 + static_cast<uint64_t>(t));
        qgPartInstance f;
        if (findAll(pic, own.get(), &f, 1) == 1) fresh.add(f, p.x, p.y, p.deg);
        else ++missed;
        if (findOne(pic, f)) one.add(f, p.x, p.y, p.deg);
        else ++missed;
        const Picture occ = render(640, 480, true, p.x, p.y, p.deg, rng, [&](Canvas& c) {
            drawTurnedBox(c, p.x, p.y, p.deg * M_PI / 180, {85, -80, 140, 80}, 110);
            drawDisc(c, p.x < 320 ? 560 : 80, 80, 30, kPlate);
        });
        occFound += findOne(occ, f) && std::hypot(f.x - p.x, f.y - p.y) < 0.1;
    }
    std::printf("Part locator, %d trials (640 x 480, blur 1, noise 2, contrast 100, whole turn):\n", trials);
    std::printf("  missed %d of %d finds\n", missed, 2 * trials);
    std::printf(" a model taught for each trial:\n");
    fresh.print();
    std::printf(" one model for all trials:\n");
    one.print();
    std::printf("  occluded quarter found within 0.1 px: %d of %d\n", occFound, trials);
}

void absentAndTwo(int trials, std::mt19937_64& rng) {
    std::uniform_real_distribution<double> U(0, 1);
    int absentFound = 0, bothFound = 0;
    const int absent = std::max(1, trials * 2 / 5), pairs = std::max(1, trials / 5);
    qgPartInstance f[4];
    for (int t = 0; t < absent; ++t) {
        const Picture p = render(640, 480, false, 0, 0, 0, rng, [&](Canvas& c) {
            drawTurnedBox(c, 120 + 400 * U(rng), 100 + 280 * U(rng), 6.3 * U(rng), {-110, -60, 110, 60}, kPlate);
            drawDisc(c, 100 + 440 * U(rng), 100 + 280 * U(rng), 30 + 40 * U(rng), kPlate);
            drawTurnedBox(c, 100 + 440 * U(rng), 100 + 280 * U(rng), 6.3 * U(rng), {-60, -40, 60, 40}, kPlate);
        });
        absentFound += findAll(p, model(), f, 1) > 0;
    }
    for (int t = 0; t < pairs; ++t) {
        const Placement a{200 + 10 * U(rng), 240 + 20 * U(rng), 360 * U(rng) - 180};
        const Placement b{600 - 10 * U(rng), 240 - 20 * U(rng), 360 * U(rng) - 180};
        const Picture p = render(800, 480, true, a.x, a.y, a.deg, rng, [&](Canvas& c) {
            drawPlate(c, b.x, b.y, b.deg * M_PI / 180, kPlate, kBack);
        });
        const int n = findAll(p, model(), f, 4);
        auto near = [&](const Placement& q) {
            for (int i = 0; i < n; ++i)
                if (std::hypot(f[i].x - q.x, f[i].y - q.y) < 0.1) return true;
            return false;
        };
        bothFound += n == 2 && near(a) && near(b);
    }
    std::printf("  pictures without the part with a find: %d of %d\n", absentFound, absent);
    std::printf("  pictures of two parts with both found: %d of %d\n", bothFound, pairs);
}

#ifdef ORVANE_HAVE_OPENCV
cv::Mat asMat(const Picture& p) { return cv::Mat(p.h, p.w, CV_8UC1, const_cast<uint8_t*>(p.px.data())).clone(); }

// The teach box pasted into a square of background, the plate's centre at
// (152.5, 152.5) in OpenCV's coordinates (pixel centres on integers).
constexpr int kSquare = 306;
constexpr double kCentre = 152.5;
cv::Mat templateSquare() {
    cv::Mat canvas(kSquare, kSquare, CV_8UC1, cv::Scalar(kBack));
    asMat(teachPicture(1))(cv::Rect(30, 40, 260, 160)).copyTo(canvas(cv::Rect(23, 73, 260, 160)));
    return canvas;
}

struct Found {
    double x, y, deg;
};

// The best normalised correlation over the templates turned by 0 .. 359
// degrees; the position in the library's coordinates.
Found sweep(const std::vector<cv::Mat>& turned, const cv::Mat& pic) {
    double best = -2;
    Found out{};
    cv::Mat r;
    for (size_t d = 0; d < turned.size(); ++d) {
        cv::matchTemplate(pic, turned[d], r, cv::TM_CCOEFF_NORMED);
        double v;
        cv::Point at;
        cv::minMaxLoc(r, nullptr, &v, nullptr, &at);
        if (v > best) {
            best = v;
            out = {at.x + kCentre + 0.5, at.y + kCentre + 0.5, static_cast<double>(d)};
        }
    }
    return out;
}

// The best voted position; its count of other detections in `extra`.
Found hough(cv::GeneralizedHoughGuil& g, const cv::Mat& pic, int& extra) {
    std::vector<cv::Vec4f> found;
    std::vector<cv::Vec3i> votes;
    g.detect(pic, found, votes);
    extra = std::max(0, static_cast<int>(found.size()) - 1);
    if (found.empty()) return {NAN, NAN, NAN};
    size_t best = 0;
    for (size_t i = 0; i < found.size(); ++i)
        if (votes[i][0] > votes[best][0]) best = i;
    // Its centre is the template's pixel (153, 153), half a pixel from the
    // plate's along both template axes, turned with the part.
    const double a = found[best][3] * M_PI / 180;
    return {found[best][0] + 0.5 - 0.5 * (std::cos(a) - std::sin(a)),
            found[best][1] + 0.5 - 0.5 * (std::sin(a) + std::cos(a)), found[best][3]};
}

struct Method {
    explicit Method(const char* n) : name(n) {}
    const char* name;
    std::vector<double> ms;
    double ex = 0, ey = 0, ea = 0;
    int n = 0, missed = 0, extra = 0;
    void add(double t, const Found& f, const Placement& p) {
        ms.push_back(t);
        if (!std::isfinite(f.x)) { ++missed; return; }
        ex += std::fabs(f.x - p.x);
        ey += std::fabs(f.y - p.y);
        ea += std::fabs(std::remainder(f.deg - p.deg, 360.0));
        ++n;
    }
    void print() const {
        std::printf("  %-22s %9.1f ms  |dx| %.3f  |dy| %.3f px  |angle| %.3f deg  missed %d  extra finds %d\n", name,
                    median(ms), ex / std::max(n, 1), ey / std::max(n, 1), ea / std::max(n, 1), missed, extra);
    }
};

cv::Ptr<cv::GeneralizedHoughGuil> houghOf(const cv::Mat& square) {
    cv::Ptr<cv::GeneralizedHoughGuil> g = cv::createGeneralizedHoughGuil();
    g->setMinAngle(0);
    g->setMaxAngle(360);
    g->setAngleStep(1);
    // Its scale search needs a range: three steps about the true size.
    g->setMinScale(0.95);
    g->setMaxScale(1.05);
    g->setScaleStep(0.05);
    g->setMinDist(100);
    g->setTemplate(square);
    return g;
}

void opencv(int pictures, std::mt19937_64& rng) {
    cv::setNumThreads(1);
    const cv::Mat square = templateSquare();
    std::vector<cv::Mat> turned(360);
    for (int d = 0; d < 360; ++d)
        // OpenCV turns counter-clockwise on the screen: the library's -d.
        cv::warpAffine(square, turned[static_cast<size_t>(d)], cv::getRotationMatrix2D({kCentre, kCentre}, -d, 1),
                       square.size(), cv::INTER_LINEAR, cv::BORDER_CONSTANT, cv::Scalar(kBack));
    cv::Ptr<cv::GeneralizedHoughGuil> g = houghOf(square);
    Method ours{"part locator"}, mt{"matchTemplate sweep"}, gh{"GeneralizedHoughGuil"};
    for (int t = 0; t < pictures; ++t) {
        const Placement p = randomPose(rng);
        const Picture pic = posePicture(p, rng);
        const cv::Mat mat = asMat(pic);
        qgPartInstance f;
        double t0 = cpuMs();
        const bool hit = findOne(pic, f);
        ours.add(cpuMs() - t0, hit ? Found{f.x, f.y, f.angle} : Found{NAN, NAN, NAN}, p);
        t0 = cpuMs();
        const Found s = sweep(turned, mat);
        mt.add(cpuMs() - t0, s, p);
        int extra = 0;
        t0 = cpuMs();
        const Found h = hough(*g, mat, extra);
        gh.add(cpuMs() - t0, h, p);
        gh.extra += extra;
    }
    std::printf("Beside OpenCV %s, %d pose pictures, median CPU time a picture (one thread), mean errors:\n",
                CV_VERSION, pictures);
    ours.print();
    mt.print();
    gh.print();
}
#endif

void BM_PartFind(benchmark::State& state) {
    const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
    std::mt19937_64 rng(5);
    const Picture p = render(w, h, true, w / 2 + 0.37, h / 2 - 0.21, 123.4, rng, [](Canvas&) {});
    qgPartInstance f{};
    for (auto _ : state) benchmark::DoNotOptimize(findOne(p, f));
    char label[96];
    std::snprintf(label, sizeof label, "error x %+.4f y %+.4f px, angle %+.5f deg", f.x - (w / 2 + 0.37),
                  f.y - (h / 2 - 0.21), std::remainder(f.angle - 123.4, 360.0));
    state.SetLabel(label);
}
BENCHMARK(BM_PartFind)->Args({640, 480})->Args({1920, 1080})->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    const char* env = std::getenv("LOCATOR_TRIALS");
    const int trials = env ? std::atoi(env) : 500;
    std::mt19937_64 rng(2026);
    if (trials > 0) {
        poses(trials, rng);
        absentAndTwo(trials, rng);
    }
#ifdef ORVANE_HAVE_OPENCV
    const char* cvEnv = std::getenv("LOCATOR_OPENCV");
    const int pictures = cvEnv ? std::atoi(cvEnv) : 5;
    if (pictures > 0) opencv(pictures, rng);
#endif
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
