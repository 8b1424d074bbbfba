// The program's icon, drawn in code: two side-by-side banks of patch rows.
#pragma once

#include <QIcon>

namespace banklore {

QIcon applicationIcon();

}  // namespace banklore
