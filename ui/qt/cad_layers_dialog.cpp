#include "ui/qt/cad_layers_dialog.h"

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace orvane::qt {

std::optional<std::vector<std::string>> AskDrawingLayers(QWidget* parent,
                                                         const std::map<std::string, uint32_t>& layers) {
  if (layers.size() < 2) return std::vector<std::string>{};
  QDialog dialog(parent);
  dialog.setWindowTitle(QStringLiteral("Drawing Layers"));
  auto* column = new QVBoxLayout(&dialog);
  column->addWidget(new QLabel(QStringLiteral("Compare the curves on these layers:"), &dialog));
  std::vector<std::pair<QCheckBox*, std::string>> boxes;
  for (const auto& [name, count] : layers) {
    auto* box = new QCheckBox(QStringLiteral("%1 (%2 %3)")
                                  .arg(QString::fromStdString(name))
                                  .arg(count)
                                  .arg(count == 1 ? QStringLiteral("curve") : QStringLiteral("curves")),
                              &dialog);
    box->setObjectName(QString::fromStdString(name));
    box->setChecked(true);
    column->addWidget(box);
    boxes.emplace_back(box, name);
  }
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  column->addWidget(buttons);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  // At least one layer: a comparison of nothing is not offered.
  auto some_ticked = [&boxes, buttons] {
    bool any = false;
    for (const auto& b : boxes) any |= b.first->isChecked();
    buttons->button(QDialogButtonBox::Ok)->setEnabled(any);
  };
  for (const auto& b : boxes) QObject::connect(b.first, &QCheckBox::toggled, &dialog, some_ticked);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  std::vector<std::string> chosen;
  for (const auto& [box, name] : boxes) {
    if (box->isChecked()) chosen.push_back(name);
  }
  if (chosen.size() == boxes.size()) chosen.clear();
  return chosen;
}

} // namespace orvane::qt
