// The gauge library's part locator: pose accuracy against synthetic ground
// truth, finds with occlusion and without the part, then speed (Google
// Benchmark, one thread, whole turn, one instance).
//
// Accuracy protocol (printed first; LOCATOR_TRIALS sets the trials, default
// 500; LOCATOR_TRIALS=0 skips it):
//   Renders: exact area sampling of a plate 220 x 120 px with a notch and
//   three holes (tests/gauge/render.h drawPlate), level 160 on 60 (contrast
//   100), a Gaussian blur of sigma 1 px, Gaussian noise of sigma 2, rounded
//   to 8 bits. The model is taught once from the plate at angle 0 centred
//   in a 320 x 240 render (box 260 x 160 about its centre).
//   - Pose: a 640 x 480 render, the plate's centre uniform within 40 px of
//     the picture's centre, its angle uniform over the whole turn. Errors of
//     x, y (px) and angle (degrees): bias (mean), sd, and the share within
//     +-2 reported standard uncertainties, and the mean reported u.
//   - Occluded: as Pose with the plate's end beyond 85 px from its centre
//     (a quarter of the outline) under a box of grey 110, and a disc of the
//     plate's grey beside it: the share found within 0.1 px.
//   - Absent: a turned box the plate's size, a disc and a smaller box of the
//     plate's grey at random places, no plate (a quarter as many pictures as
//     trials, at least 1): the share in which anything was found.
#include <benchmark/benchmark.h>

#include "gauge/include/qgauge.h"
#include "tests/gauge/render.h"

#include <cstdio>
#include <cstdlib>
#include <memory>

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

const qgPartModel* model() {
    static std::unique_ptr<qgPartModel, decltype(&qgPartModelFree)> m(nullptr, qgPartModelFree);
    if (!m) {
        std::mt19937_64 rng(1);
        const Picture p = render(320, 240, true, 160, 120, 0, rng, [](Canvas&) {});
        const qgImage im = p.image();
        const qgBox box{30, 40, 290, 200};
        qgPartModel* raw = nullptr;
        if (qgPartTrain(&im, &box, nullptr, &raw) != QG_OK) std::abort();
        m.reset(raw);
    }
    return m.get();
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

bool findOne(const Picture& p, qgPartInstance& f) {
    const qgImage im = p.image();
    int32_t n = 0;
    return qgPartFind(&im, model(), nullptr, &f, 1, &n) == QG_OK;
}

void accuracy(int trials) {
    std::mt19937_64 rng(2026);
    std::uniform_real_distribution<double> U(0, 1);
    Stats ex, ey, ea;
    int missed = 0, occFound = 0;
    for (int t = 0; t < trials; ++t) {
        const double x = 320 + 80 * (U(rng) - 0.5), y = 240 + 80 * (U(rng) - 0.5), deg = 360 * U(rng) - 180;
        qgPartInstance f;
        if (!findOne(render(640, 480, true, x, y, deg, rng, [](Canvas&) {}), f)) { ++missed; continue; }
        ex.add(f.x - x, f.ux);
        ey.add(f.y - y, f.uy);
        ea.add(std::remainder(f.angle - deg, 360.0), f.uangle);
        const Picture occ = render(640, 480, true, x, y, deg, rng, [&](Canvas& c) {
            drawTurnedBox(c, x, y, deg * M_PI / 180, {85, -80, 140, 80}, 110);
            drawDisc(c, x < 320 ? 560 : 80, 80, 30, kPlate);
        });
        occFound += findOne(occ, f) && std::hypot(f.x - x, f.y - y) < 0.1;
    }
    int absentFound = 0;
    const int absent = std::max(1, trials / 4);
    for (int t = 0; t < absent; ++t) {
        qgPartInstance f;
        const Picture p = render(640, 480, false, 0, 0, 0, rng, [&](Canvas& c) {
            drawTurnedBox(c, 120 + 400 * U(rng), 100 + 280 * U(rng), 6.3 * U(rng), {-110, -60, 110, 60}, kPlate);
            drawDisc(c, 100 + 440 * U(rng), 100 + 280 * U(rng), 30 + 40 * U(rng), kPlate);
            drawTurnedBox(c, 100 + 440 * U(rng), 100 + 280 * U(rng), 6.3 * U(rng), {-60, -40, 60, 40}, kPlate);
        });
        absentFound += findOne(p, f);
    }
    std::printf("Part locator, %d trials (640 x 480, blur 1, noise 2, contrast 100, whole turn):\n", trials);
    std::printf("  found %d of %d\n", trials - missed, trials);
    ex.print("x px");
    ey.print("y px");
    ea.print("angle");
    std::printf("  occluded quarter found within 0.1 px: %d of %d\n", occFound, trials - missed);
    std::printf("  pictures without the part with a find: %d of %d\n", absentFound, absent);
}

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
    if (trials > 0) accuracy(trials);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
