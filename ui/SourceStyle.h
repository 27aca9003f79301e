#pragma once

#include "model/ModelSource.h"

#include <QColor>
#include <QIcon>
#include <QString>

// How a model source is drawn: its fixed colour and its icon, the same in every view.
namespace SourceStyle {

[[nodiscard]] QColor color(ModelSource source);
// The freedesktop.org icon name standing for the source.
[[nodiscard]] QString iconName(ModelSource source);
// The source's icon in the source's colour.
[[nodiscard]] QIcon icon(ModelSource source);

} // namespace SourceStyle
