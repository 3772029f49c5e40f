#pragma once
// Toolbar icons that stay visible on the palette they are shown on. The style's own icons are
// drawn for a light background; on a dark one their black shapes vanish. Each pixel whose
// colour stands out too little against the background takes the palette's text colour
// instead, keeping its opacity, so coloured parts stay as the style drew them.

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QPalette>
#include <QStyle>

namespace sondrel {

// Below this contrast ratio a pixel is redrawn in the text colour.
inline constexpr double kIconContrast = 3.0;

// The contrast ratio of two colours, 1 (the same) to 21 (black on white).
double ContrastRatio(const QColor& a, const QColor& b);
// image with every visible pixel of too little contrast against background recoloured.
QImage ContrastingImage(const QImage& image, const QColor& background, const QColor& text);
// The style's icon, made to contrast with palette's window colour at the usual sizes.
QIcon PaletteIcon(const QStyle& style, QStyle::StandardPixmap which, const QPalette& palette);

}  // namespace sondrel
