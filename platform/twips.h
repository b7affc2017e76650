#pragma once

#include <QRect>
#include <QSize>

// Window layouts are drawn up in twips, 1/1440 inch: 15 to a logical pixel at 96 dpi. This is the one
// place they become pixels; Qt's own device-pixel scaling takes it from there.
namespace ostrel::platform {

inline constexpr int TwipsPerPixel = 15;

constexpr int Px(int twips)
{
    return twips / TwipsPerPixel;
}

constexpr QSize TwipsSize(int width, int height)
{
    return {Px(width), Px(height)};
}

constexpr QRect TwipsRect(int left, int top, int width, int height)
{
    return {Px(left), Px(top), Px(width), Px(height)};
}

} // namespace ostrel::platform
