#include "ui/qt/extension_actions.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>

#include "dxf/dxf_options.h"
#include "ui/live_hint.h"
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
  surface.live_video()->pressed = [&station](MouseEvent event) { OnLiveAreaMouse(station, event); };
}

} // namespace orvane::qt
