// The application's own icon.
#pragma once

#include <QIcon>

namespace orlune::qt {

// 32 x 32 pixels, 16 colours: a schematic sheet whose wire leaves it through
// a sheet connector.
QIcon appIcon();

}  // namespace orlune::qt
