// Speed of the vision library where a camera station spends its time: the
// edge filter, the blob search and the 40-threshold calibration sweep, on
// synthetic frames (a calibration target, scattered dark blobs, mild noise),
// next to the same work done with OpenCV when it is installed.
#include <benchmark/benchmark.h>

#include "quellix.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <random>
#include <vector>

#ifdef ORVANE_HAVE_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

struct Frame {
    uint32_t width, height;
    std::vector<uint8_t> pixels, overlay;
    uint32_t size() const { return uint32_t(pixels.size()); }
    void registerWithLibrary() {
        qlxSetUp(width, height, width * 3, 3, pixels.data(), overlay.data());
    }
};

// Scenes: 0 a light background with noise and about 30 dark blobs; 1 the
// same with the target, a dark ring of outer radius 90 px at 640 wide (scaled
// with the width) around a bright disc of half its diameter; 2 scene 0 on a
// left-to-right ramp from 40 to 240, so that every threshold of the
// calibration sweep meets new pixels.
Frame makeFrame(uint32_t width, uint32_t height, int scene) {
    const bool target = scene == 1;
    Frame f{width, height, std::vector<uint8_t>(size_t(width) * height * 3),
            std::vector<uint8_t>(size_t(width) * height * 3)};
    const double scale = width / 640.0;
    std::mt19937 rng(2024);
    std::normal_distribution<double> noise(0.0, 4.0);
    std::uniform_real_distribution<double> ux(0, width), uy(0, height), ur(4 * scale, 16 * scale);
    struct Disc { double x, y, r; };
    std::vector<Disc> blobs;
    const double cx = width * 0.5, cy = height * 0.5, R = 90 * scale;
    while (blobs.size() < 30) {
        const Disc d{ux(rng), uy(rng), ur(rng)};
        if (std::hypot(d.x - cx, d.y - cy) < R + d.r + 10) continue;
        blobs.push_back(d);
    }
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x) {
            double v = scene == 2 ? 40.0 + 200.0 * x / width : 200;
            for (const Disc& d : blobs)
                if (std::hypot(x - d.x, y - d.y) < d.r) v = 50;
            if (target) {
                const double r = std::hypot(x - cx, y - cy);
                if (r < R) v = r < R / 2 ? 235 : 30;
            }
            v = std::clamp(v + noise(rng), 0.0, 255.0);
            uint8_t* p = &f.pixels[(size_t(y) * width + x) * 3];
            p[0] = uint8_t(v * 0.9);
            p[1] = uint8_t(v * 0.95);
            p[2] = uint8_t(v);
        }
    return f;
}

Frame& frame(uint32_t width, int scene) {
    static std::map<std::pair<uint32_t, int>, Frame> cache;
    auto key = std::make_pair(width, scene);
    auto it = cache.find(key);
    if (it == cache.end())
        it = cache.emplace(key, makeFrame(width, width == 640 ? 480 : 1080, scene)).first;
    return it->second;
}

void BM_Sobel3_Quellix(benchmark::State& state) {
    Frame& f = frame(uint32_t(state.range(0)), 1);
    f.registerWithLibrary();
    std::vector<uint8_t> edges(f.size());
    for (auto _ : state) {
        qlxSobel3(f.pixels.data(), f.size(), 0, nullptr, 16.0, edges.data(), 0);
        benchmark::DoNotOptimize(edges.data());
    }
}
BENCHMARK(BM_Sobel3_Quellix)->Arg(640)->Arg(1920)->Unit(benchmark::kMillisecond);

// Scene 1 (the target and dark blobs on a light background), or scene 2, a
// camera-like picture: the dark blobs on a ramp with noise, where the band
// 0..128 holds a large noisy-edged region and many specks.
void BM_FindBlobs_Quellix(benchmark::State& state) {
    Frame& f = frame(uint32_t(state.range(0)), int(state.range(1)));
    f.registerWithLibrary();
    std::vector<BlobRecord> blobs(1000);
    uint32_t count = 0;
    for (auto _ : state) {
        qlxFindBlobs(f.pixels.data(), f.size(), 0, nullptr, 0, 128, 10, 9999999, 1, blobs.data(),
                     &count, 1000);
        benchmark::DoNotOptimize(count);
    }
    state.counters["blobs"] = count;
}
BENCHMARK(BM_FindBlobs_Quellix)
    ->Args({640, 1})->Args({1920, 1})->Args({1920, 2})->Unit(benchmark::kMillisecond);

void BM_Calibration_Quellix(benchmark::State& state) {
    Frame& f = frame(uint32_t(state.range(0)), int(state.range(1)));
    f.registerWithLibrary();
    double sx = 0, sy = 0, third = 0;
    int32_t rc = 0;
    for (auto _ : state) {
        rc = qlxStandardCalibration(f.pixels.data(), f.size(), 0, nullptr, 24.0, 1, &sx, &sy, &third);
        benchmark::DoNotOptimize(sx);
    }
    state.counters["found"] = rc == 0;
    state.counters["scale"] = sx;
}
BENCHMARK(BM_Calibration_Quellix)
    ->Args({640, 1})->Args({640, 0})->Args({640, 2})->Args({1920, 1})->Args({1920, 0})
    ->Args({1920, 2})->Unit(benchmark::kMillisecond);

#ifdef ORVANE_HAVE_OPENCV

struct SingleThread {
    SingleThread() { cv::setNumThreads(1); }
} singleThread;

cv::Mat asMat(Frame& f) { return cv::Mat(int(f.height), int(f.width), CV_8UC3, f.pixels.data()); }

void BM_Sobel3_OpenCV(benchmark::State& state) {
    Frame& f = frame(uint32_t(state.range(0)), 1);
    const cv::Mat src = asMat(f);
    const cv::Mat diff = (cv::Mat_<float>(1, 3) << -1, 0, 1), ones = (cv::Mat_<float>(1, 3) << 1, 1, 1);
    cv::Mat v, gx, gy, ax, ay, m, bin, out;
    for (auto _ : state) {
        cv::extractChannel(src, v, 2);
        cv::sepFilter2D(v, gx, CV_16S, diff, ones);
        cv::sepFilter2D(v, gy, CV_16S, ones, diff);
        cv::convertScaleAbs(gx, ax, 1.0 / 6.0);
        cv::convertScaleAbs(gy, ay, 1.0 / 6.0);
        cv::max(ax, ay, m);
        cv::threshold(m, bin, 15.5, 255, cv::THRESH_BINARY);
        cv::cvtColor(bin, out, cv::COLOR_GRAY2BGR);
        benchmark::DoNotOptimize(out.data);
    }
}
BENCHMARK(BM_Sobel3_OpenCV)->Arg(640)->Arg(1920)->Unit(benchmark::kMillisecond);

int labelBand(const cv::Mat& v, int low, int high, cv::Mat& mask, cv::Mat& labels, cv::Mat& stats,
              cv::Mat& centroids) {
    cv::inRange(v, low, high, mask);
    return cv::connectedComponentsWithStats(mask, labels, stats, centroids, 8, CV_32S, cv::CCL_BBDT);
}

void BM_FindBlobs_OpenCV(benchmark::State& state) {
    Frame& f = frame(uint32_t(state.range(0)), int(state.range(1)));
    const cv::Mat src = asMat(f);
    cv::Mat v, mask, labels, stats, centroids;
    int n = 0;
    for (auto _ : state) {
        cv::extractChannel(src, v, 2);
        n = labelBand(v, 0, 128, mask, labels, stats, centroids);
        benchmark::DoNotOptimize(n);
    }
    state.counters["labels"] = n;
}
BENCHMARK(BM_FindBlobs_OpenCV)
    ->Args({640, 1})->Args({1920, 1})->Args({1920, 2})->Unit(benchmark::kMillisecond);

// The 80 labellings of the sweep: a dark and a bright band per threshold.
void BM_Calibration_OpenCV(benchmark::State& state) {
    Frame& f = frame(uint32_t(state.range(0)), int(state.range(1)));
    const cv::Mat src = asMat(f);
    cv::Mat v, mask, labels, stats, centroids;
    for (auto _ : state) {
        cv::extractChannel(src, v, 2);
        int n = 0;
        for (int t = 40; t < 240; t += 5) {
            n += labelBand(v, 0, t, mask, labels, stats, centroids);
            n += labelBand(v, t, 255, mask, labels, stats, centroids);
        }
        benchmark::DoNotOptimize(n);
    }
}
BENCHMARK(BM_Calibration_OpenCV)
    ->Args({640, 1})->Args({640, 0})->Args({640, 2})->Args({1920, 1})->Args({1920, 0})
    ->Args({1920, 2})->Unit(benchmark::kMillisecond);

#endif

}  // namespace
