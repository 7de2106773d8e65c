#include "frontends/window/TextContrast.h"

#include <cmath>

namespace {

constexpr int kMixSteps = 64;

double LinearChannel(uint8_t channel)
{
    const double value = channel / 255.0;
    return value <= 0.04045 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
}

double RelativeLuminance(RgbColour colour)
{
    return 0.2126 * LinearChannel(colour.red) + 0.7152 * LinearChannel(colour.green) +
           0.0722 * LinearChannel(colour.blue);
}

uint8_t MixChannel(uint8_t from, uint8_t to, int step)
{
    return static_cast<uint8_t>(from + ((to - from) * step + kMixSteps / 2) / kMixSteps);
}

RgbColour Mix(RgbColour from, RgbColour to, int step)
{
    return {MixChannel(from.red, to.red, step), MixChannel(from.green, to.green, step),
            MixChannel(from.blue, to.blue, step)};
}

}  // namespace

double ContrastRatio(RgbColour first, RgbColour second)
{
    const double a = RelativeLuminance(first);
    const double b = RelativeLuminance(second);
    return (std::fmax(a, b) + 0.05) / (std::fmin(a, b) + 0.05);
}

RgbColour ReadableColour(RgbColour wanted, RgbColour ground)
{
    constexpr RgbColour kWhite = {255, 255, 255};
    constexpr RgbColour kBlack = {0, 0, 0};
    const RgbColour extreme = ContrastRatio(kWhite, ground) >= ContrastRatio(kBlack, ground) ? kWhite : kBlack;
    for (int step = 0; step < kMixSteps; ++step) {
        const RgbColour mixed = Mix(wanted, extreme, step);
        if (ContrastRatio(mixed, ground) >= kLeastTextContrast) return mixed;
    }
    return extreme;
}
