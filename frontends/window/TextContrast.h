#pragma once
// Whether a text colour can be read on its ground, and the colour to use where it cannot. The
// window's navy, maroon and black texts are meant for a light ground; on a dark theme they would
// all but vanish. Contrast is the ratio of relative luminances (1 to 21) as the Web Content
// Accessibility Guidelines define it; 4.5 is their least for text of normal size.

#include "update/UpdateView.h"

inline constexpr double kLeastTextContrast = 4.5;

// The contrast ratio of two colours, 1 (the same) to 21 (black on white).
double ContrastRatio(RgbColour first, RgbColour second);

// wanted itself where it reaches kLeastTextContrast on ground; else the least mix of wanted
// with white or with black (whichever contrasts more with ground) that reaches it, so that the
// colour keeps as much of its hue as the ground allows.
RgbColour ReadableColour(RgbColour wanted, RgbColour ground);
