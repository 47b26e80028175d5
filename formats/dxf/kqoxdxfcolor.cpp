#include "formats/dxf/kqoxdxfcolor.h"

namespace qoxsdk_600 {

namespace {

// The nine named colours, then black as the darkest grey.
struct FixedColor
{
    double r, g, b;
    int number;
};
constexpr FixedColor kFixed[] = {
    {1, 0, 0, 1},
    {1, 1, 0, 2},
    {0, 1, 0, 3},
    {0, 1, 1, 4},
    {0, 0, 1, 5},
    {1, 0, 1, 6},
    {1, 1, 1, 7},
    {0.502, 0.502, 0.502, 8},
    {0.753, 0.753, 0.753, 9},
    {0, 0, 0, 250},
};

// Quarter counts along a band of 80 hues, ten numbers per step.
constexpr int kFalling[8] = {4, 4, 4, 4, 4, 3, 2, 1};
constexpr int kRising[8] = {0, 1, 2, 3, 4, 4, 4, 4};
// Brightness by the last digit of the number, two digits per entry.
constexpr double kBrightness[5] = {1.0, 0.65, 0.5, 0.3, 0.15};

enum Channel
{
    eRED,
    eGREEN,
    eBLUE
};

// Hue base for (maximum, middle) and the fifth of the mid/max ratio; the last
// column follows the minimum (blue 50, red 130, green 210).
int HueBase(Channel maxChannel, Channel midChannel, int fifth)
{
    static const int kRedGreen[5] = {10, 20, 30, 40, 50};
    static const int kGreenRed[5] = {90, 80, 70, 60, 50};
    static const int kGreenBlue[5] = {90, 100, 110, 120, 130};
    static const int kBlueGreen[5] = {170, 160, 150, 140, 130};
    static const int kBlueRed[5] = {170, 180, 190, 200, 210};
    static const int kRedBlue[5] = {10, 240, 230, 220, 210};
    if (maxChannel == eRED)
        return midChannel == eGREEN ? kRedGreen[fifth] : kRedBlue[fifth];
    if (maxChannel == eGREEN)
        return midChannel == eRED ? kGreenRed[fifth] : kGreenBlue[fifth];
    return midChannel == eGREEN ? kBlueGreen[fifth] : kBlueRed[fifth];
}

} // namespace

bool DxfColorToRgb(int number, double rgb[3])
{
    if (number < 1 || number > 255)
        return false;
    if (number <= 9)
    {
        for (const FixedColor& fixed : kFixed)
        {
            if (fixed.number == number)
            {
                rgb[0] = fixed.r;
                rgb[1] = fixed.g;
                rgb[2] = fixed.b;
            }
        }
        return true;
    }
    if (number >= 250)
    {
        rgb[0] = rgb[1] = rgb[2] = (number % 10) * 0.134 + 0.33;
        return true;
    }
    const int band = (number - 10) / 80;
    const int k = ((number - 10) % 80) / 10;
    int quarters[3];
    if (band == 0)
    {
        quarters[0] = kFalling[k], quarters[1] = kRising[k], quarters[2] = 0;
    }
    else if (band == 1)
    {
        quarters[0] = 0, quarters[1] = kFalling[k], quarters[2] = kRising[k];
    }
    else
    {
        quarters[0] = kRising[k], quarters[1] = 0, quarters[2] = kFalling[k];
    }
    const double brightness = kBrightness[(number % 10) / 2];
    for (int i = 0; i < 3; ++i)
    {
        double component = quarters[i] * 0.25;
        if (number % 2 == 1)
            component += (4 - quarters[i]) * 0.125;
        rgb[i] = component * brightness;
    }
    return true;
}

int DxfColorFromRgb(double red, double green, double blue)
{
    for (const FixedColor& fixed : kFixed)
    {
        if (red == fixed.r && green == fixed.g && blue == fixed.b)
            return fixed.number;
    }
    const double value[3] = {red, green, blue};
    Channel maxChannel, midChannel, minChannel;
    if (red >= green && red >= blue)
        maxChannel = eRED;
    else if (green >= blue)
        maxChannel = eGREEN;
    else
        maxChannel = eBLUE;
    // Of the other two, the earlier in red, green, blue order is the middle
    // unless it lies below the later one.
    const Channel first = maxChannel == eRED ? eGREEN : eRED;
    const Channel second = maxChannel == eBLUE ? eGREEN : eBLUE;
    if (value[first] >= value[second])
        midChannel = first, minChannel = second;
    else
        midChannel = second, minChannel = first;

    const double max = value[maxChannel];
    const double mid = value[midChannel];
    const double min = value[minChannel];
    const double q = min / max;
    if (q > 0.8)
    {
        const double a = (max + mid + min) / 3;
        if (a < 0.4)
            return 250;
        if (a < 0.53)
            return 251;
        if (a < 0.66)
            return 252;
        if (a < 0.8)
            return 253;
        if (a < 0.93)
            return 254;
        return 255;
    }
    const double m = mid / max;
    int fifth = 4;
    for (int k = 1, step = 0; k <= 7; k += 2, ++step)
    {
        if (m <= (1 - q) * k * 0.125 + q)
        {
            fifth = step;
            break;
        }
    }
    int base = HueBase(maxChannel, midChannel, fifth);
    if (fifth == 4)
        base = minChannel == eBLUE ? 50 : minChannel == eRED ? 130 : 210;
    int valueStep = 8;
    if (max > 0.85)
        valueStep = 0;
    else if (max > 0.6)
        valueStep = 2;
    else if (max > 0.4)
        valueStep = 4;
    else if (max > 0.2)
        valueStep = 6;
    const int saturationStep = q > 0.2 ? 1 : 0;
    return base + valueStep + saturationStep;
}

} // namespace qoxsdk_600
