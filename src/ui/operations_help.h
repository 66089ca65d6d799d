// The Help pages: what each operation does, what its parameter means and
// which operations make up the grid search; and the About text.
#pragma once

#include <QString>

namespace vexo {

QString OperationsHelpHtml();
// Vexo's version with those of Qt and libjpeg-turbo.
QString AboutText();

}  // namespace vexo
