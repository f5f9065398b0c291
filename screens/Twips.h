#pragma once

#include <QRect>

// Screen layouts are given in twips (1/1440 inch) from the top-left of a
// window's client area. They become pixels through the screen's logical
// resolution: 15 twips make one pixel at 96 DPI.

// Logical dots per inch of the primary screen (96 when there is none).
double screenDpi();

// `twips` in pixels, rounded to the nearest pixel.
int twipsToPixels(int twips);

// A rectangle given as left, top, width and height in twips. Each edge is
// rounded on its own, so neighbouring controls keep their shared edges.
QRect twipsRect(int left, int top, int width, int height);
