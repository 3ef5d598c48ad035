// Window and control geometry is given in twips (1/1440 inch); the program
// maps 15 twips to one logical pixel, the 96 dots per inch of the design.
#pragma once

#include <QRect>
#include <QSize>

namespace Orvanta {

constexpr double kTwipsPerPixel = 15.0;

// Nearest whole pixel, halves away from zero.
constexpr int px(double twips)
{
    const double p = twips / kTwipsPerPixel;
    return static_cast<int>(p >= 0 ? p + 0.5 : p - 0.5);
}

constexpr double twips(int pixels)
{
    return pixels * kTwipsPerPixel;
}

// A rectangle given as left, top, width, height in twips.
constexpr QRect pxRect(double left, double top, double width, double height)
{
    return QRect(px(left), px(top), px(width), px(height));
}

constexpr QSize pxSize(double width, double height)
{
    return QSize(px(width), px(height));
}

} // namespace Orvanta
