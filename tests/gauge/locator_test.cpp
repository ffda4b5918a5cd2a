// Part locator on rendered plates: poses over the whole turn at sub-pixel
// offsets, occlusion, clutter without the part, two parts, the warnings of
// poor models, refused arguments, damaged serialised models and threads.
#include "render.h"

#include <qgauge.h>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <thread>

namespace {

using namespace gauge_render;

constexpr double kBack = 60, kPlate = 160;

struct Placed {
    double x, y, deg;
    double scale = 1;
};

struct Picture : Picture8 {
    qgImage image() const { return {px.data(), w, h, w, 1}; }
};

// Plates at the poses over a plain background, blurred 1 px, noise 2 (or
// `noise`), with optional extra shapes drawn after them.
template <class Extra>
Picture render(int w, int h, const std::vector<Placed>& plates, uint64_t seed, Extra extra, double noise = 2) {
    std::mt19937_64 rng(seed);
    return {renderPicture(w, h, kBack, 1.0, noise, rng, [&](Canvas& c) {
        for (const Placed& p : plates) drawPlate(c, p.x, p.y, p.deg * M_PI / 180, kPlate, kBack, p.scale);
        extra(c);
    })};
}
Picture render(int w, int h, const std::vector<Placed>& plates, uint64_t seed) {
    return render(w, h, plates, seed, [](Canvas&) {});
}

using Model = std::unique_ptr<qgPartModel, decltype(&qgPartModelFree)>;

Model train(const Picture& pic, qgBox box, int32_t* rc = nullptr) {
    qgPartModel* m = nullptr;
    const qgImage im = pic.image();
    const int32_t r = qgPartTrain(&im, &box, nullptr, &m);
    if (rc) *rc = r;
    return Model(m, qgPartModelFree);
}

// The model taught once: a plate centred in a 320 x 240 picture.
const qgPartModel& plateModel() {
    static Model m = train(render(320, 240, {{160, 120, 0}}, 1), {30, 40, 290, 200});
    return *m;
}

double angleDiff(double a, double b) { return std::remainder(a - b, 360.0); }

TEST(PartLocator, TaughtPlateHasPointsAndNoWarnings) {
    int32_t points = 0, flags = -1;
    ASSERT_EQ(qgPartModelInfo(&plateModel(), &points, &flags, nullptr, nullptr), QG_OK);
    EXPECT_GE(points, 150);
    EXPECT_LE(points, 300);
    EXPECT_EQ(flags, 0);
}

TEST(PartLocator, FindsPosesOverTheWholeTurn) {
    // Noisy pictures within their noise; noise-free ones within the
    // method's own error, which edges read off their blurred flanks exceed.
    struct Case {
        Placed pose;
        double noise, tolXY, tolDeg;
    } cases[] = {
        {{320.0, 240.0, 0}, 2, 0.03, 0.015},        {{300.37, 251.81, 33.3}, 2, 0.03, 0.015},
        {{341.52, 229.09, 90.0}, 2, 0.03, 0.015},   {{318.73, 244.46, 151.7}, 2, 0.03, 0.015},
        {{322.21, 238.64, 180.0}, 2, 0.03, 0.015},  {{310.94, 260.13, -179.3}, 2, 0.03, 0.015},
        {{329.61, 233.27, -135.2}, 2, 0.03, 0.015}, {{305.08, 247.75, -90.1}, 2, 0.03, 0.015},
        {{336.44, 250.56, -44.7}, 2, 0.03, 0.015},  {{299.99, 255.55, 0.37}, 2, 0.03, 0.015},
        {{333.33, 222.22, 64.4}, 2, 0.03, 0.015},   {{315.5, 240.25, 121.9}, 2, 0.03, 0.015},
        {{320.25, 240.75, 0.9}, 0, 0.006, 0.003},   {{317.81, 236.12, 44.6}, 0, 0.006, 0.003},
        {{322.67, 243.38, -88.2}, 0, 0.006, 0.003}, {{311.02, 239.59, 167.1}, 0, 0.006, 0.003},
        {{326.43, 250.01, -23.7}, 0, 0.006, 0.003}, {{305.55, 231.29, 112.4}, 0, 0.006, 0.003},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Placed& p = cases[i].pose;
        SCOPED_TRACE(i);
        const Picture pic = render(640, 480, {p}, 100 + i, [](Canvas&) {}, cases[i].noise);
        const qgImage im = pic.image();
        qgPartInstance f[1];
        int32_t n = 0;
        ASSERT_EQ(qgPartFind(&im, &plateModel(), nullptr, f, 1, &n), QG_OK);
        ASSERT_EQ(n, 1);
        EXPECT_NEAR(f[0].x, p.x, cases[i].tolXY);
        EXPECT_NEAR(f[0].y, p.y, cases[i].tolXY);
        EXPECT_NEAR(angleDiff(f[0].angle, p.deg), 0, cases[i].tolDeg);
        EXPECT_GT(f[0].angle, -180);
        EXPECT_LE(f[0].angle, 180);
        EXPECT_GT(f[0].score, 0.9);
        // Honest, not absurd uncertainties.
        EXPECT_GT(f[0].ux, 0.0005);
        EXPECT_LT(f[0].ux, 0.02);
        EXPECT_GT(f[0].uangle, 0.0001);
        EXPECT_LT(f[0].uangle, 0.02);
    }
}

TEST(PartLocator, OccludedClutteredAbsentAndTwoParts) {
    const qgPartFindParams* defaults = nullptr;
    qgPartInstance f[4];
    int32_t n = 0;
    // A quarter of the outline (one end) under another object.
    const Placed p{318.4, 236.7, 57.0};
    Picture pic = render(640, 480, {p}, 7, [&](Canvas& c) {
        drawTurnedBox(c, p.x, p.y, p.deg * M_PI / 180, {85, -80, 140, 80}, 110);
        drawDisc(c, 80, 80, 30, kPlate);  // clutter beside it
    });
    qgImage im = pic.image();
    ASSERT_EQ(qgPartFind(&im, &plateModel(), defaults, f, 1, &n), QG_OK);
    EXPECT_NEAR(f[0].x, p.x, 0.1);
    EXPECT_NEAR(f[0].y, p.y, 0.1);
    EXPECT_NEAR(angleDiff(f[0].angle, p.deg), 0, 0.05);
    EXPECT_LT(f[0].score, 0.95);

    // Shapes of the plate's grey, none of them the plate.
    pic = render(640, 480, {}, 8, [](Canvas& c) {
        drawTurnedBox(c, 200, 150, 0.3, {-110, -60, 110, 60}, kPlate);
        drawDisc(c, 480, 330, 70, kPlate);
        drawTurnedBox(c, 470, 120, -0.7, {-60, -40, 60, 40}, kPlate);
    });
    im = pic.image();
    EXPECT_EQ(qgPartFind(&im, &plateModel(), defaults, f, 1, &n), QG_NOT_FOUND);
    EXPECT_EQ(n, 0);

    // Two parts, both found, best first, within the search.
    pic = render(800, 480, {{200.3, 240.6, -20}, {580.7, 230.2, 145}}, 9);
    im = pic.image();
    qgPartFindParams fp;
    qgPartFindDefaults(&fp);
    fp.maxInstances = 4;
    ASSERT_EQ(qgPartFind(&im, &plateModel(), &fp, f, 4, &n), QG_OK);
    ASSERT_EQ(n, 2);
    if (f[0].x > f[1].x) std::swap(f[0], f[1]);
    EXPECT_NEAR(f[0].x, 200.3, 0.05);
    EXPECT_NEAR(angleDiff(f[0].angle, -20), 0, 0.02);
    EXPECT_NEAR(f[1].x, 580.7, 0.05);
    EXPECT_NEAR(angleDiff(f[1].angle, 145), 0, 0.02);
    // Searched only on the left, or in an angle range that holds neither:
    // one and none.
    fp.search = {0, 0, 400, 480};
    ASSERT_EQ(qgPartFind(&im, &plateModel(), &fp, f, 4, &n), QG_OK);
    EXPECT_EQ(n, 1);
    fp.search = {};
    fp.angleMin = 30;
    fp.angleMax = 100;
    EXPECT_EQ(qgPartFind(&im, &plateModel(), &fp, f, 4, &n), QG_NOT_FOUND);
}

TEST(PartLocator, PolarityDecidesWhetherAReversedPartIsFound) {
    // A dark plate on a light ground: the taught plate with its contrast
    // reversed.
    std::mt19937_64 rng(15);
    const Placed p{309.6, 247.3, -123.4};
    const Picture pic{renderPicture(640, 480, kPlate, 1.0, 2.0, rng, [&](Canvas& c) {
        drawPlate(c, p.x, p.y, p.deg * M_PI / 180, kBack, kPlate);
    })};
    const qgImage im = pic.image();
    struct Case {
        int32_t polarity, rc;
    } cases[] = {{QG_POLARITY_DARK_TO_LIGHT, QG_NOT_FOUND}, {QG_POLARITY_EITHER, QG_OK}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.polarity);
        qgPartFindParams fp;
        qgPartFindDefaults(&fp);
        fp.polarity = k.polarity;
        qgPartInstance f;
        int32_t n = 0;
        ASSERT_EQ(qgPartFind(&im, &plateModel(), &fp, &f, 1, &n), k.rc);
        if (k.rc != QG_OK) continue;
        EXPECT_NEAR(f.x, p.x, 0.03);
        EXPECT_NEAR(f.y, p.y, 0.03);
        EXPECT_NEAR(angleDiff(f.angle, p.deg), 0, 0.015);
    }
}

TEST(PartLocator, WarnsOfModelsThatCannotFixAPose) {
    struct Case {
        const char* what;
        void (*draw)(Canvas&);
        int32_t flag;
    } cases[] = {
        {"disc", [](Canvas& c) { drawDisc(c, 100.3, 100.6, 40, kPlate); }, QG_PART_NO_ANGLE},
        {"bar", [](Canvas& c) { drawTurnedBox(c, 100, 100, 0.4, {-300, -20, 300, 20}, kPlate); },
         QG_PART_NO_POSITION},
        {"grid", [](Canvas& c) { drawTurnedBox(c, 100, 100, 0, {-50, -30, 50, 30}, kPlate); },
         QG_PART_GRID_ALIGNED},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        const Picture pic = render(200, 200, {}, 3, k.draw);
        int32_t rc = 0, flags = 0;
        Model m = train(pic, {30, 30, 170, 170}, &rc);
        ASSERT_EQ(rc, QG_OK);
        qgPartModelInfo(m.get(), nullptr, &flags, nullptr, nullptr);
        EXPECT_EQ(flags & k.flag, k.flag) << flags;
        if (k.flag != QG_PART_NO_ANGLE) continue;
        // A disc is still found: its centre where it is, whatever the angle.
        const qgImage im = pic.image();
        qgPartInstance f;
        int32_t n = 0;
        ASSERT_EQ(qgPartFind(&im, m.get(), nullptr, &f, 1, &n), QG_OK);
        const double a = f.angle * M_PI / 180;
        EXPECT_NEAR(f.x + 0.3 * std::cos(a) - 0.6 * std::sin(a), 100.3, 0.05);
        EXPECT_NEAR(f.y + 0.3 * std::sin(a) + 0.6 * std::cos(a), 100.6, 0.05);
    }
    // A blank box has no edges.
    const Picture blank = render(100, 100, {}, 4);
    int32_t rc = 0;
    EXPECT_EQ(train(blank, {10, 10, 90, 90}, &rc).get(), nullptr);
    EXPECT_EQ(rc, QG_NOT_FOUND);
}

TEST(PartLocator, RefusesBadArguments) {
    const Picture pic = render(320, 240, {{160, 120, 0}}, 1);
    const qgImage im = pic.image();
    qgPartModel* m = nullptr;
    const qgBox box{30, 40, 290, 200};
    qgPartTrainParams tp;
    qgPartTrainDefaults(&tp);
    EXPECT_EQ(qgPartTrain(nullptr, &box, nullptr, &m), QG_ERR_NULL);
    EXPECT_EQ(qgPartTrain(&im, nullptr, nullptr, &m), QG_ERR_NULL);
    for (qgBox b : {qgBox{30, 40, 35, 200}, qgBox{NAN, 40, 290, 200}, qgBox{290, 40, 30, 200}})
        EXPECT_EQ(qgPartTrain(&im, &b, nullptr, &m), QG_ERR_ARGUMENT);
    const qgBox outside{-1, 40, 290, 200};
    EXPECT_EQ(qgPartTrain(&im, &outside, nullptr, &m), QG_ERR_OUTSIDE);
    for (int32_t pts : {0, 15, QG_PART_MAX_POINTS + 1}) {
        tp.maxPoints = pts;
        EXPECT_EQ(qgPartTrain(&im, &box, &tp, &m), QG_ERR_ARGUMENT);
    }
    EXPECT_EQ(m, nullptr);

    qgPartInstance f[2];
    int32_t n = 5;
    EXPECT_EQ(qgPartFind(&im, nullptr, nullptr, f, 1, &n), QG_ERR_NULL);
    auto bad = [&](void (*change)(qgPartFindParams&), int32_t capacity = 2) {
        qgPartFindParams p;
        qgPartFindDefaults(&p);
        change(p);
        n = 5;
        const int32_t rc = qgPartFind(&im, &plateModel(), &p, f, capacity, &n);
        EXPECT_EQ(n, 0);
        return rc;
    };
    EXPECT_EQ(bad([](qgPartFindParams& p) { p.minScore = 0; }), QG_ERR_ARGUMENT);
    EXPECT_EQ(bad([](qgPartFindParams& p) { p.minScore = 1.01; }), QG_ERR_ARGUMENT);
    EXPECT_EQ(bad([](qgPartFindParams& p) { p.angleMin = 10; p.angleMax = 5; }), QG_ERR_ARGUMENT);
    EXPECT_EQ(bad([](qgPartFindParams& p) { p.angleMin = -200; p.angleMax = 200; }), QG_ERR_ARGUMENT);
    EXPECT_EQ(bad([](qgPartFindParams& p) { p.angleMax = INFINITY; }), QG_ERR_ARGUMENT);
    EXPECT_EQ(bad([](qgPartFindParams& p) { p.maxInstances = 0; }), QG_ERR_ARGUMENT);
    EXPECT_EQ(bad([](qgPartFindParams& p) { p.maxInstances = 3; }), QG_ERR_ARGUMENT);  // capacity 2
    EXPECT_EQ(bad([](qgPartFindParams& p) { p.polarity = 7; }), QG_ERR_ARGUMENT);
    EXPECT_EQ(bad([](qgPartFindParams& p) { p.minDistance = -1; }), QG_ERR_ARGUMENT);
    EXPECT_EQ(bad([](qgPartFindParams& p) { p.search = {10, 10, 10, 20}; }), QG_ERR_ARGUMENT);
    EXPECT_EQ(bad([](qgPartFindParams& p) { p.search = {10, 10, 400, 20}; }), QG_ERR_OUTSIDE);
}

TEST(PartLocator, SavedModelRoundTripsAndDamageIsRefused) {
    size_t size = 0;
    ASSERT_EQ(qgPartModelSize(&plateModel(), &size), QG_OK);
    std::vector<uint8_t> bytes(size);
    EXPECT_EQ(qgPartModelSave(&plateModel(), bytes.data(), size - 1), QG_ERR_ARGUMENT);
    ASSERT_EQ(qgPartModelSave(&plateModel(), bytes.data(), size), QG_OK);
    qgPartModel* raw = nullptr;
    ASSERT_EQ(qgPartModelLoad(bytes.data(), bytes.size(), &raw), QG_OK);
    Model back(raw, qgPartModelFree);
    std::vector<uint8_t> again(size);
    ASSERT_EQ(qgPartModelSave(back.get(), again.data(), size), QG_OK);
    EXPECT_EQ(again, bytes);
    int32_t flags = -1;
    qgPartModelInfo(back.get(), nullptr, &flags, nullptr, nullptr);
    EXPECT_EQ(flags, 0);

    // Every single flipped byte, and every truncation, is refused.
    for (size_t i = 0; i < size; i += 1 + i / 64) {
        std::vector<uint8_t> d = bytes;
        d[i] ^= 0x5a;
        qgPartModel* m = nullptr;
        EXPECT_EQ(qgPartModelLoad(d.data(), d.size(), &m), QG_ERR_DAMAGED) << i;
        EXPECT_EQ(m, nullptr);
        EXPECT_EQ(qgPartModelLoad(bytes.data(), i, &m), QG_ERR_DAMAGED) << i;
    }
    // A checksum made right over a hostile count or value is still refused.
    auto resealed = [&](size_t at, uint8_t v) {
        std::vector<uint8_t> d = bytes;
        d[at] = v;
        uint32_t c = 0xffffffffu;
        for (size_t i = 0; i + 4 < d.size(); ++i) {
            c ^= d[i];
            for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xedb88320u & (0u - (c & 1)));
        }
        c = ~c;
        for (int k = 0; k < 4; ++k) d[d.size() - 4 + static_cast<size_t>(k)] = static_cast<uint8_t>(c >> (8 * k));
        qgPartModel* m = nullptr;
        const int32_t rc = qgPartModelLoad(d.data(), d.size(), &m);
        qgPartModelFree(m);
        return rc;
    };
    EXPECT_EQ(resealed(0, 'Q'), QG_OK);          // the reseal itself is sound
    EXPECT_EQ(resealed(11, 0x7f), QG_ERR_DAMAGED);  // count's top byte
    EXPECT_EQ(resealed(7, 0xff), QG_ERR_DAMAGED);   // unknown version
    EXPECT_EQ(resealed(43, 0x7f), QG_ERR_DAMAGED);  // first point's x: huge or NaN
}

TEST(PartLocator, MaskedPixelsStayOutOfTheModel) {
    // Taught with a label on the plate that the next parts do not carry.
    const Picture teach = render(320, 240, {{160, 120, 0}}, 1, [](Canvas& c) {
        drawTurnedBox(c, 120, 150, 0, {-25, -12, 25, 12}, 230);
    });
    const Picture part = render(640, 480, {{331.2, 228.7, -61.0}}, 12);
    const qgImage im = teach.image(), pim = part.image();
    const qgBox box{30, 40, 290, 200};
    const qgBox label{90, 133, 150, 167};  // the label and a few pixels about it
    struct Case {
        const char* what;
        qgBox masked;  // pixels whose centres lie in it are don't-care
        int maskWidth, maskBytes;
        int32_t rc;
    } cases[] = {
        {"nothing masked", {0, 0, 0, 0}, 320, 1, QG_OK},
        {"label masked", label, 320, 1, QG_OK},
        {"everything masked", {0, 0, 320, 240}, 320, 1, QG_NOT_FOUND},
        {"mask of another size", {0, 0, 0, 0}, 319, 1, QG_ERR_IMAGE},
        {"mask of three bytes a pixel", {0, 0, 0, 0}, 320, 3, QG_ERR_IMAGE},
    };
    double scoreUnmasked = 0;
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        std::vector<uint8_t> bytes(static_cast<size_t>(k.maskWidth) * 240 * k.maskBytes, 0);
        for (int y = 0; y < 240; ++y)
            for (int x = 0; x < k.maskWidth; ++x)
                if (x + 0.5 > k.masked.x0 && x + 0.5 < k.masked.x1 && y + 0.5 > k.masked.y0 && y + 0.5 < k.masked.y1)
                    bytes[(static_cast<size_t>(y) * k.maskWidth + x) * k.maskBytes] = 1;
        const qgImage mask{bytes.data(), k.maskWidth, 240, k.maskWidth * k.maskBytes, k.maskBytes};
        qgPartModel* raw = nullptr;
        ASSERT_EQ(qgPartTrainMasked(&im, &box, &mask, nullptr, &raw), k.rc);
        Model m(raw, qgPartModelFree);
        if (k.rc != QG_OK) {
            EXPECT_EQ(raw, nullptr);
            continue;
        }
        // No point on the label's pixels, or it is there unmasked.
        int32_t points = 0, onLabel = 0;
        qgPartModelInfo(m.get(), &points, nullptr, nullptr, nullptr);
        for (int32_t i = 0; i < points; ++i) {
            qgPoint at, normal;
            qgPartModelPoint(m.get(), i, &at, &normal);
            onLabel += at.x + 160 > 92 && at.x + 160 < 148 && at.y + 120 > 135 && at.y + 120 < 165;
        }
        EXPECT_EQ(onLabel > 0, k.masked.x1 == 0) << onLabel;
        qgPartInstance f;
        int32_t n = 0;
        ASSERT_EQ(qgPartFind(&pim, m.get(), nullptr, &f, 1, &n), QG_OK);
        EXPECT_NEAR(f.x, 331.2, 0.05);
        EXPECT_NEAR(angleDiff(f.angle, -61.0), 0, 0.02);
        if (k.masked.x1 == 0) scoreUnmasked = f.score;
        else EXPECT_GT(f.score, scoreUnmasked + 0.05);  // the label's points no longer missing
    }
    qgPartModel* raw = nullptr;
    EXPECT_EQ(qgPartTrainMasked(&im, &box, nullptr, nullptr, &raw), QG_ERR_NULL);
}

TEST(PartLocator, ScaleRangeFindsGrownAndShrunkParts) {
    struct Case {
        double scaleMin, scaleMax, truth;
        int32_t rc;
    } cases[] = {
        {0.8, 1.25, 0.87, QG_OK},   {0.8, 1.25, 1.18, QG_OK}, {0.95, 1.05, 1.0, QG_OK},
        {1.1, 1.1, 1.1, QG_OK},     {1, 1, 1.3, QG_NOT_FOUND}, {1.2, 1.5, 0.9, QG_NOT_FOUND},
        {0.4, 1, 1, QG_ERR_ARGUMENT}, {1, 2.1, 1, QG_ERR_ARGUMENT}, {1.2, 1.1, 1, QG_ERR_ARGUMENT},
        {NAN, 1, 1, QG_ERR_ARGUMENT},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(testing::Message() << k.scaleMin << " .. " << k.scaleMax << " at " << k.truth);
        const Placed p{318.3, 242.6, 101.5, k.truth};
        const Picture pic = render(640, 480, {p}, 13);
        const qgImage im = pic.image();
        qgPartInstance f;
        qgPartScale sc{-1, -1};
        int32_t n = 0;
        ASSERT_EQ(qgPartFindScaled(&im, &plateModel(), nullptr, k.scaleMin, k.scaleMax, &f, &sc, 1, &n), k.rc);
        if (k.rc != QG_OK) continue;
        EXPECT_NEAR(f.x, p.x, 0.05);
        EXPECT_NEAR(f.y, p.y, 0.05);
        EXPECT_NEAR(angleDiff(f.angle, p.deg), 0, 0.02);
        EXPECT_NEAR(sc.scale, k.truth, 0.0005);
        if (k.scaleMin < k.scaleMax) {
            EXPECT_GT(sc.uscale, 1e-6);
            EXPECT_LT(sc.uscale, 1e-3);
        } else {
            EXPECT_EQ(sc.uscale, 0);
        }
    }
    // Without a range it is qgPartFind, to the bit.
    const Picture pic = render(640, 480, {{300.7, 250.1, -33}}, 14);
    const qgImage im = pic.image();
    qgPartInstance a, b;
    int32_t n = 0;
    ASSERT_EQ(qgPartFind(&im, &plateModel(), nullptr, &a, 1, &n), QG_OK);
    ASSERT_EQ(qgPartFindScaled(&im, &plateModel(), nullptr, 1, 1, &b, nullptr, 1, &n), QG_OK);
    EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0);
}

TEST(PartLocator, ThreadsTrainAndFindAlike) {
    const Picture teach = render(320, 240, {{160, 120, 0}}, 1);
    const Picture pic = render(640, 480, {{301.7, 260.2, 77.7}}, 11);
    qgPartInstance out[2][1];
    auto work = [&](int k) {
        Model m = train(teach, {30, 40, 290, 200});
        const qgImage im = pic.image();
        int32_t n = 0;
        if (!m || qgPartFind(&im, m.get(), nullptr, out[k], 1, &n) != QG_OK) out[k][0].score = -1;
    };
    std::thread a(work, 0), b(work, 1);
    a.join();
    b.join();
    ASSERT_GT(out[0][0].score, 0);
    EXPECT_EQ(std::memcmp(&out[0][0], &out[1][0], sizeof(qgPartInstance)), 0);
}

}  // namespace
