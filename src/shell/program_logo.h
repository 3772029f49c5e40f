#pragma once
// The program's image for the about box and the banner: the application's window icon when
// one is set, else a drawn note on a disc, so the image never depends on an installed file.

#include <QPixmap>

namespace sondrel {

QPixmap ProgramLogo(int size);

}  // namespace sondrel
