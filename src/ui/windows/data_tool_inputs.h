#pragma once
// The labelled numeric inputs of the data-tool windows, each bound to its field
// of the session: the input shows the field and writes every change back.

#include <QGridLayout>
#include <QLabel>
#include <QString>

#include "ui/numeric_input.h"

namespace membrix {

inline NumericInput* AddBoundInput(QWidget* owner, QGridLayout* grid, int row, int col, const char* name,
                                   const char* label, int decimals, double& field) {
  auto* caption = new QLabel(QString::fromUtf8(label), owner);
  caption->setObjectName(QString::fromUtf8(label));
  auto* input = new NumericInput(owner, decimals);
  input->setObjectName(QString::fromUtf8(name));
  input->setValue(field);
  input->setMaximumWidth(80);
  QObject::connect(input, &NumericInput::valueChanged, owner, [&field](double v) { field = v; });
  grid->addWidget(caption, row, col);
  grid->addWidget(input, row, col + 1);
  return input;
}

}  // namespace membrix
