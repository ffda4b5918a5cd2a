#include "ui/qt/extension_actions.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>

#include "dxf/dxf_options.h"
#include "ui/cad_command.h"
#include "ui/live_hint.h"
#include "ui/qt/cad_layers_dialog.h"
#include "ui/qt/live_video_widget.h"
#include "ui/save_image.h"

namespace orvane::qt {

void WireExtensionActions(QtSurface& surface, Station& station) {
  SurfaceEvents& e = surface.events();
  e.save_annotated = [&station] { SaveAnnotatedCommand(station); };
  e.dxf_units_on = [&station] { return LoadDxfOptions(station).units; };
  e.dxf_units = [&station](bool on) { SetDxfUnits(station, on); };
  e.save_dxf_as = [&surface, &station] {
    QFileDialog dialog(surface.window(), QStringLiteral("Save DXF As"),
                       QString::fromStdString(station.folder().string()),
                       QStringLiteral("DXF drawings (*.dxf *.DXF)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("dxf"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    SaveDxfCopyCommand(station, QFile::encodeName(dialog.selectedFiles().front()).toStdString());
  };
  e.compare_drawing = [&surface, &station] {
    const QString file = QFileDialog::getOpenFileName(surface.window(), QStringLiteral("Compare with Drawing"),
                                                      QString::fromStdString(station.folder().string()),
                                                      QStringLiteral("DXF drawings (*.dxf *.DXF)"));
    if (file.isEmpty()) return;
    const std::filesystem::path path = QFile::encodeName(file).toStdString();
    QString unit;
    if (!DrawingNamesUnit(path)) {
      bool ok = false;
      unit = QInputDialog::getItem(surface.window(), QStringLiteral("Drawing Unit"),
                                   QStringLiteral("The drawing names no unit. It is drawn in:"),
                                   {QStringLiteral("mm"), QStringLiteral("cm"), QStringLiteral("m"),
                                    QStringLiteral("in"), QStringLiteral("ft"), QStringLiteral("um")},
                                   0, false, &ok);
      if (!ok) return;
    }
    const std::optional<std::vector<std::string>> layers = AskDrawingLayers(surface.window(), DrawingLayers(path));
    if (!layers) return;
    bool ok = false;
    const double tolerance = QInputDialog::getDouble(
        surface.window(), QStringLiteral("Profile Tolerance"),
        QStringLiteral("Profile tolerance t (the zone is +-t/2), in the drawing's unit:"), 0.1, 1e-6, 1e6, 4, &ok);
    if (!ok) return;
    CompareWithDrawing(station, path, unit.toStdString(), tolerance, *layers);
  };
  surface.live_video()->pressed = [&station](MouseEvent event) { OnLiveAreaMouse(station, event); };
}

} // namespace orvane::qt
