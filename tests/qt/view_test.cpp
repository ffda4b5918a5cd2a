// The image view and the live area as real widgets: what they paint at the
// run's scale factor (QT_SCALE_FACTOR 1, 2 and 1.5 run these), where the
// mouse lands in the image, the cursor, drops.
#include <gtest/gtest.h>
#include <QMimeData>
#include <QMouseEvent>
#include <QTest>
#include <QUrl>

#include <cmath>
#include <random>

#include "acquisition/acquisition.h"
#include "station/workspace.h"
#include "support/station_fixture.h"
#include "tests/qt/qt_support.h"
#include "ui/qt/image_view_widget.h"
#include "ui/qt/live_video_widget.h"
#include "ui/qt/qt_surface.h"
#include "ui/window_hooks.h"
#include "view/mouse.h"
#include "view/zoom.h"
#include "workspace/solutions.h"

namespace orvane::qt {
namespace {

constexpr uint32_t kDxfSimpleOutput = 4;

// A station on the Qt surface with a W x H image whose every pixel differs
// from its neighbours, shown in a view of the given size.
struct ViewFixture {
  ViewFixture(uint32_t w, uint32_t h, int32_t view_w, int32_t view_h) {
    InstallWindowHooks(station);
    OpenWorkspace(station);
    LoadSolution(station, kDxfSimpleOutput, station.working.get());
    station.current_solution = kDxfSimpleOutput;
    testing::AttachImage(station, w, h);
    for (uint32_t y = 0; y < h; ++y) {
      for (uint32_t x = 0; x < w; ++x) {
        uint8_t* p = station.image.frame + y * station.image.stride + x * 3;
        p[0] = static_cast<uint8_t>(x * 7);
        p[1] = static_cast<uint8_t>(y * 5);
        p[2] = static_cast<uint8_t>((x + y) * 3);
      }
    }
    station.image.view_width = static_cast<uint32_t>(view_w);
    station.image.view_height = static_cast<uint32_t>(view_h);
    surface.MoveControl(ControlId::ImageView, {12, 16, view_w, view_h});
    surface.image_view()->SetView(&station.view);
    ComposeDisplay(station, station.image.frame);
    surface.image_view()->mouse = [this](MouseEvent kind, int32_t x, int32_t y, uint32_t keys) {
      OnMouse(station, kind, x, y, keys);
    };
    surface.image_view()->mouse_at_image = [this](MouseEvent kind, int32_t x, int32_t y,
                                                  uint32_t keys) {
      OnMouseAtImage(station, kind, x, y, keys);
    };
    surface.image_view()->zoomed = [this](const ViewZoom& zoom) { station.view.zoom = zoom; };
    surface.image_view()->SetImage(&station.image);
    surface.window()->resize(std::max(view_w + 40, surface.window()->width()),
                             std::max(view_h + 40, surface.window()->height()));
    surface.window()->show();
  }

  // The view as painted, in device pixels.
  QImage Painted() { return surface.image_view()->grab().toImage().convertToFormat(QImage::Format_RGB32); }

  // Every painted device pixel is the display pixel the stretch rule picks.
  void ExpectNearestNeighbour() {
    const QImage painted = Painted();
    const double ratio = surface.image_view()->devicePixelRatioF();
    const int32_t dw = DevicePixels(surface.image_view()->width(), ratio);
    const int32_t dh = DevicePixels(surface.image_view()->height(), ratio);
    ASSERT_EQ(painted.width(), dw);
    ASSERT_EQ(painted.height(), dh);
    const ImageState& im = station.image;
    int mismatches = 0;
    for (int32_t y = 0; y < dh; ++y) {
      for (int32_t x = 0; x < dw; ++x) {
        const int32_t sx = StretchSource(x, dw, static_cast<int32_t>(im.width));
        const int32_t sy = StretchSource(y, dh, static_cast<int32_t>(im.height));
        const uint8_t* p = im.display + sy * im.stride + sx * 3;
        if (painted.pixel(x, y) != qRgb(p[2], p[1], p[0]) && ++mismatches < 5) {
          ADD_FAILURE() << "device pixel " << x << "," << y << " is not image pixel " << sx
                        << "," << sy;
        }
      }
    }
    EXPECT_EQ(mismatches, 0);
  }

  // The display pixel at (x, y) as Qt's RGB.
  QRgb DisplayAt(int32_t x, int32_t y) const {
    const uint8_t* p = station.image.display + y * station.image.stride + x * 3;
    return qRgb(p[2], p[1], p[0]);
  }

  // The view position of the middle of image pixel (x, y) at the view's zoom.
  QPointF ViewAt(int32_t x, int32_t y) const {
    const ViewZoom z = surface.image_view()->Zoom();
    return {(x + 0.5 - z.origin_x) * z.scale, (y + 0.5 - z.origin_y) * z.scale};
  }

  void Click(QPointF at) {
    Send(QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
    Send(QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
  }

  void Drag(QPointF from, QPointF to) {
    Send(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    Send(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
    Send(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
  }

  void Send(QEvent::Type type, QPointF at, Qt::MouseButton button, Qt::MouseButtons buttons,
            Qt::KeyboardModifiers modifiers = {}) {
    QWidget* view = surface.image_view();
    QMouseEvent event(type, at, view->mapToGlobal(at), button, buttons, modifiers);
    QApplication::sendEvent(view, &event);
  }

  testing::TempDir dir;
  QtSurface surface;
  Station station{dir.path(), &surface};
};

TEST(QtImageView, PaintsNothingBeforeAnImageAndNearestNeighbourAfter) {
  ViewFixture f(320, 240, 472, 354);
  f.station.view.SetFormat(320, 240, 24); // as right after a new geometry
  const QImage blank = f.Painted();
  const QRgb window = f.surface.window()->palette().color(QPalette::Window).rgb();
  EXPECT_EQ(blank.pixel(10, 10), window);
  EXPECT_EQ(blank.pixel(blank.width() - 1, blank.height() - 1), window);
  ComposeDisplay(f.station, f.station.image.frame);
  f.ExpectNearestNeighbour();
  testing::Screenshot(f.surface.window(), "view_stretched");
  // Shrinking drops rows and columns instead of blending them.
  f.surface.MoveControl(ControlId::ImageView, {12, 16, 111, 77});
  f.ExpectNearestNeighbour();
}

TEST(QtImageView, DragDrawsTheRoiAtTheImagePixelsUnderTheMouse) {
  ViewFixture f(320, 240, 472, 354);
  // Positions between logical pixels, as fractional scale factors deliver them.
  const QPointF from(100.6, 60.4);
  const QPointF to(300.75, 250.5);
  f.Send(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
  f.Send(QEvent::MouseMove, (from + to) / 2, Qt::NoButton, Qt::LeftButton);
  f.Send(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
  f.Send(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
  ASSERT_EQ(f.station.working->roi_count, 1u);
  const RoiRecord& roi = f.station.working->rois[0];
  // Client pixel n covers image pixels from n * 320 / 472 on.
  EXPECT_EQ(roi.left, static_cast<int32_t>(100 * 320.0 / 472));
  EXPECT_EQ(roi.top, static_cast<int32_t>(60 * 240.0 / 354));
  EXPECT_EQ(roi.right, static_cast<int32_t>(300 * 320.0 / 472));
  EXPECT_EQ(roi.bottom, static_cast<int32_t>(250 * 240.0 / 354));
  // The rectangle is in the overlay at those pixels and painted where they show.
  const uint8_t* corner = f.station.image.overlay + roi.top * f.station.image.stride + roi.left * 3;
  EXPECT_NE(corner[0] | corner[1] | corner[2], 0);
  const uint8_t* inside =
      f.station.image.overlay + (roi.top + 3) * f.station.image.stride + (roi.left + 3) * 3;
  EXPECT_EQ(inside[0] | inside[1] | inside[2], 0);
  f.ExpectNearestNeighbour();
  const QImage painted = f.Painted();
  const double ratio = f.surface.image_view()->devicePixelRatioF();
  const QPoint device_corner(static_cast<int>(std::ceil(roi.left * 472.0 / 320 * ratio)),
                             static_cast<int>(std::ceil(roi.top * 354.0 / 240 * ratio)));
  EXPECT_EQ(painted.pixel(device_corner), qRgb(corner[2], corner[1], corner[0]));
  testing::Screenshot(f.surface.window(), "view_roi_drag");
}

TEST(QtImageView, ForwardsButtonsAndKeysAsTheStationsFlags) {
  testing::TempDir dir;
  QtSurface s;
  std::vector<std::tuple<MouseEvent, int32_t, int32_t, uint32_t>> seen;
  s.image_view()->mouse = [&seen](MouseEvent kind, int32_t x, int32_t y, uint32_t keys) {
    seen.emplace_back(kind, x, y, keys);
  };
  s.MoveControl(ControlId::ImageView, {12, 16, 200, 150});
  s.window()->show();
  QWidget* view = s.image_view();
  auto send = [view](QEvent::Type type, QPointF at, Qt::MouseButton b, Qt::MouseButtons bs,
                     Qt::KeyboardModifiers m) {
    QMouseEvent e(type, at, view->mapToGlobal(at), b, bs, m);
    QApplication::sendEvent(view, &e);
  };
  send(QEvent::MouseButtonPress, {5.9, 7.2}, Qt::LeftButton, Qt::LeftButton, Qt::ShiftModifier);
  send(QEvent::MouseButtonDblClick, {5, 7}, Qt::LeftButton, Qt::LeftButton, Qt::ControlModifier);
  send(QEvent::MouseMove, {9, 8}, Qt::NoButton, Qt::LeftButton | Qt::RightButton, {});
  send(QEvent::MouseButtonRelease, {9, 8}, Qt::LeftButton, Qt::RightButton, {});
  send(QEvent::MouseButtonPress, {1, 2}, Qt::RightButton, Qt::RightButton, {});
  send(QEvent::MouseButtonRelease, {1, 2}, Qt::RightButton, Qt::NoButton, {});
  using T = std::tuple<MouseEvent, int32_t, int32_t, uint32_t>;
  const std::vector<T> expected = {
      T{MouseEvent::LeftDown, 5, 7, kKeyLeftButton | kKeyShift},
      T{MouseEvent::LeftDown, 5, 7, kKeyLeftButton | kKeyControl}, // no double-clicks
      T{MouseEvent::Move, 9, 8, kKeyLeftButton | kKeyRightButton},
      T{MouseEvent::LeftUp, 9, 8, kKeyRightButton},
      T{MouseEvent::RightDown, 1, 2, kKeyRightButton},
      T{MouseEvent::RightUp, 1, 2, 0u}};
  EXPECT_EQ(seen, expected);
}

TEST(QtImageView, ShowsTheCursorTheMouseCodeChose) {
  ImageView view;
  testing::TempDir dir;
  QtSurface s;
  s.image_view()->SetView(&view);
  const std::pair<CursorId, Qt::CursorShape> shapes[] = {
      {CursorId::Arrow, Qt::ArrowCursor},       {CursorId::Cross, Qt::CrossCursor},
      {CursorId::SizeNwse, Qt::SizeFDiagCursor}, {CursorId::SizeNesw, Qt::SizeBDiagCursor},
      {CursorId::SizeWe, Qt::SizeHorCursor},    {CursorId::SizeNs, Qt::SizeVerCursor},
      {CursorId::SizeAll, Qt::SizeAllCursor}};
  for (const auto& [id, shape] : shapes) {
    view.cursor_id = CursorValue(id);
    s.InvalidateControl(ControlId::ImageView, false);
    EXPECT_EQ(s.image_view()->cursor().shape(), shape);
  }
  view.cursor_id = 0; // left to the default: the view sets none of its own
  s.image_view()->RefreshCursor();
  EXPECT_FALSE(s.image_view()->testAttribute(Qt::WA_SetCursor));
}

TEST(QtImageView, TakesTheFirstOfSeveralDroppedFiles) {
  QtSurface s;
  QStringList dropped;
  s.image_view()->dropped = [&dropped](const QString& path) { dropped << path; };
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile("/tmp/a b.bmp"), QUrl::fromLocalFile("/tmp/c.jpg")});
  QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
  QApplication::sendEvent(s.image_view(), &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
  QApplication::sendEvent(s.image_view(), &drop);
  EXPECT_EQ(dropped, QStringList{QStringLiteral("/tmp/a b.bmp")});
  QMimeData web;
  web.setUrls({QUrl(QStringLiteral("https://example.org/x.bmp"))});
  QDragEnterEvent remote(QPoint(5, 5), Qt::CopyAction, &web, Qt::LeftButton, {});
  remote.setAccepted(false);
  QApplication::sendEvent(s.image_view(), &remote);
  EXPECT_FALSE(remote.isAccepted());
}

// Zoomed in at 8x on a 1920 x 1080 image, a click anywhere lands on the image
// pixel that the device pixel under the cursor shows, and that pixel's square
// holds the cursor (to half a device pixel).
TEST(QtImageView, ZoomedClicksLandOnThePixelUnderTheCursor) {
  ViewFixture f(1920, 1080, 1040, 585);
  f.station.view.zoom = CentreOn(AreaOf(f.station.image), 8.0, 1234.3, 456.7);
  const double ratio = f.surface.image_view()->devicePixelRatioF();
  const ViewZoom z = f.surface.image_view()->Zoom();
  ASSERT_EQ(z.scale, 8.0);
  std::mt19937 rng(24);
  std::uniform_real_distribution<double> along_x(0.0, 1040.0), along_y(0.0, 585.0);
  const double slack = 0.5 / (8.0 * ratio) + 1e-9;
  // Every click redraws the same overlay: one picture of the view serves.
  f.Click(QPointF(1.0, 1.0));
  const QImage painted = f.Painted();
  int misses = 0;
  for (int i = 0; i < 100; ++i) {
    const QPointF at(along_x(rng), along_y(rng));
    f.Click(at);
    const int32_t x = f.station.view.press_x, y = f.station.view.press_y;
    const double ix = z.origin_x + at.x() / 8.0, iy = z.origin_y + at.y() / 8.0;
    bool hit = x <= ix + slack && ix - slack <= x + 1 && y <= iy + slack && iy - slack <= y + 1;
    // The overview and the zoom factor cover the top-right corner.
    if (at.x() < 1040 - 200 || at.y() > 140) {
      hit = hit && painted.pixel(static_cast<int>(at.x() * ratio), static_cast<int>(at.y() * ratio)) ==
                       f.DisplayAt(x, y);
    }
    if (!hit && ++misses <= 5) {
      ADD_FAILURE() << "click at " << at.x() << "," << at.y() << " reached " << x << "," << y;
    }
  }
  EXPECT_EQ(misses, 0);
}

// An image narrower than the zoomed view stands in its middle with margins
// on both sides; every device pixel shows the pixel under its centre.
TEST(QtImageView, ZoomedPaintWithMargins) {
  ViewFixture f(100, 400, 400, 300);
  f.station.view.zoom = CentreOn(AreaOf(f.station.image), 2.5, 50, 123.4);
  const ViewZoom z = f.surface.image_view()->Zoom();
  ASSERT_DOUBLE_EQ(z.origin_x, -30.0);
  const QImage painted = f.Painted();
  const double ratio = f.surface.image_view()->devicePixelRatioF();
  const double ds = z.scale * ratio;
  int mismatches = 0;
  // Below the overview, which the top-right corner holds.
  for (int y = static_cast<int>(140 * ratio); y < painted.height(); y += 3) {
    for (int x = 0; x < painted.width(); ++x) {
      const auto ix = static_cast<int32_t>(std::floor(z.origin_x + (x + 0.5) / ds));
      const auto iy = static_cast<int32_t>(std::floor(z.origin_y + (y + 0.5) / ds));
      const QRgb want = ix < 0 || ix >= 100 ? qRgb(0x20, 0x20, 0x20) : f.DisplayAt(ix, iy);
      if (painted.pixel(x, y) != want && ++mismatches < 5) {
        ADD_FAILURE() << "device pixel " << x << "," << y;
      }
    }
  }
  EXPECT_EQ(mismatches, 0);
}

// At 4x a drag on an ROI's edge, corner and centre moves them to the image
// pixels the mouse went to.
TEST(QtImageView, RoiDragAndResizeAt4x) {
  ViewFixture f(640, 480, 464, 348);
  SolutionRecord& rec = *f.station.working;
  rec.roi_count = 1;
  rec.rois[0] = RoiRecord{};
  RoiRecord& r = rec.rois[0];
  r.left = 100, r.top = 100, r.right = 200, r.bottom = 180, r.width = 100, r.height = 80;
  f.station.view.zoom = CentreOn(AreaOf(f.station.image), 4.0, 150, 140);
  f.Drag(f.ViewAt(100, 140), f.ViewAt(95, 137));
  EXPECT_EQ(r.left, 95);
  f.Drag(f.ViewAt(200, 180), f.ViewAt(205, 182));
  EXPECT_EQ(r.right, 205);
  EXPECT_EQ(r.bottom, 182);
  f.Drag(f.ViewAt(150, 141), f.ViewAt(148, 144));
  EXPECT_EQ(r.left, 93);
  EXPECT_EQ(r.top, 103);
  EXPECT_EQ(r.right, 203);
  EXPECT_EQ(r.bottom, 185);
  EXPECT_EQ(rec.roi_count, 1u);
  testing::Screenshot(f.surface.window(), "zoom_roi_4x");
}

// Keys, the wheel and a middle drag zoom and pan; the image position under
// the cursor stays under it while zooming.
TEST(QtImageView, WheelKeysAndPan) {
  ViewFixture f(640, 480, 464, 348);
  ImageViewWidget* view = f.surface.image_view();
  const QPointF at(300.0, 100.0);
  f.Send(QEvent::MouseMove, at, Qt::NoButton, Qt::NoButton);
  auto under = [&](const ViewZoom& z) {
    return QPointF(z.origin_x + at.x() / z.scale, z.origin_y + at.y() / z.scale);
  };
  QTest::keyClick(f.surface.window(), Qt::Key_Plus);
  const ViewZoom first = view->Zoom();
  EXPECT_DOUBLE_EQ(first.scale, 2.0 * FitScale(AreaOf(f.station.image)));
  view->Wheel(2.0, at);
  const ViewZoom second = view->Zoom();
  EXPECT_DOUBLE_EQ(second.scale, first.scale * 1.5625);
  EXPECT_NEAR(under(second).x(), under(first).x(), 1e-9);
  EXPECT_NEAR(under(second).y(), under(first).y(), 1e-9);
  f.Send(QEvent::MouseButtonPress, at, Qt::MiddleButton, Qt::MiddleButton);
  f.Send(QEvent::MouseMove, at + QPointF(-40, -20), Qt::NoButton, Qt::MiddleButton);
  f.Send(QEvent::MouseButtonRelease, at + QPointF(-40, -20), Qt::MiddleButton, Qt::NoButton);
  EXPECT_NEAR(view->Zoom().origin_x, second.origin_x + 40 / second.scale, 1e-9);
  EXPECT_NEAR(view->Zoom().origin_y, second.origin_y + 20 / second.scale, 1e-9);
  EXPECT_EQ(f.station.working->roi_count, 0u); // the pan drew nothing
  QTest::keyClick(f.surface.window(), Qt::Key_1);
  EXPECT_DOUBLE_EQ(view->Zoom().scale, 1.0 / view->devicePixelRatioF() > FitScale(AreaOf(f.station.image))
                                           ? 1.0 / view->devicePixelRatioF()
                                           : 0.0);
  QTest::keyClick(f.surface.window(), Qt::Key_0);
  EXPECT_TRUE(view->Zoom().fit());
  QTest::keyClick(f.surface.window(), Qt::Key_Minus);
  EXPECT_TRUE(view->Zoom().fit());
}

// The loupe shows the 15 x 15 display pixels around the one under the cursor,
// that pixel's position and frame value, and stays off the cursor.
TEST(QtImageView, LoupeShowsThePixelsAroundTheCursor) {
  ViewFixture f(640, 480, 464, 348);
  ImageViewWidget* view = f.surface.image_view();
  f.station.view.zoom = CentreOn(AreaOf(f.station.image), 2.0, 600, 30);
  QTest::keyClick(f.surface.window(), Qt::Key_L);
  ASSERT_TRUE(view->loupe_on());
  for (const auto& [x, y] : {std::pair{630, 5}, std::pair{590, 40}}) {
    const QPointF at = f.ViewAt(x, y);
    f.Send(QEvent::MouseMove, at, Qt::NoButton, Qt::NoButton);
    const QRect loupe = view->LoupeRect();
    ASSERT_FALSE(loupe.isEmpty());
    EXPECT_FALSE(loupe.contains(at.toPoint()));
    const uint8_t* p = f.station.image.frame + y * f.station.image.stride + x * 3;
    EXPECT_EQ(view->LoupeText(), QStringLiteral("(%1,%2) %3,%4,%5").arg(x).arg(y).arg(p[2]).arg(p[1]).arg(p[0]));
    const QImage painted = f.Painted();
    const double ratio = view->devicePixelRatioF();
    for (int j = 0; j < 15; ++j) {
      for (int i = 0; i < 15; ++i) {
        const int32_t px = x - 7 + i, py = y - 7 + j;
        if (px < 0 || py < 0 || px >= 640 || py >= 480) continue;
        const QPoint device(static_cast<int>((loupe.x() + i * 8 + 2) * ratio),
                            static_cast<int>((loupe.y() + j * 8 + 2) * ratio));
        ASSERT_EQ(painted.pixel(device), f.DisplayAt(px, py)) << i << "," << j;
      }
    }
  }
  testing::Screenshot(f.surface.window(), "zoom_loupe");
}

TEST(QtLiveVideo, PaintsTheLatestPictureStretchedWithoutBlending) {
  QtSurface s;
  LiveVideoWidget* live = s.live_video();
  s.MoveControl(ControlId::LiveVideo, {12, 16, 160, 120});
  s.window()->show();
  // A 4 x 2 picture of distinct B, G, R, x pixels.
  std::vector<uint8_t> bgrx;
  for (int i = 0; i < 8; ++i) {
    bgrx.insert(bgrx.end(), {static_cast<uint8_t>(i * 30), static_cast<uint8_t>(255 - i * 30),
                             static_cast<uint8_t>(i * 10), 0});
  }
  live->SetPicture({bgrx.data(), 4, 2, 16, 4});
  const QImage painted = live->grab().toImage();
  const int dw = painted.width();
  const int dh = painted.height();
  for (int y = 0; y < dh; y += 7) {
    for (int x = 0; x < dw; x += 5) {
      const int i = StretchSource(y, dh, 2) * 4 + StretchSource(x, dw, 4);
      ASSERT_EQ(painted.pixel(x, y), qRgb(i * 10, 255 - i * 30, i * 30)) << x << "," << y;
    }
  }
  EXPECT_GE(live->stats().frames, 1u);
  testing::Screenshot(s.window(), "live_area");
}

} // namespace
} // namespace orvane::qt
