#pragma once
#include <cstdint>

// Colours are stored the way the settings and form values hold them: 0x00BBGGRR.
using TColor = uint32_t;

constexpr TColor clBlack = 0x000000;
constexpr TColor clMaroon = 0x000080;
constexpr TColor clGreen = 0x008000;
constexpr TColor clOlive = 0x008080;
constexpr TColor clNavy = 0x800000;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clYellow = 0x00FFFF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clDarkGray = 4210752; // 0x404040, unlit leading digits

constexpr int ColorRed(TColor c) {
    return c & 0xFF;
}
constexpr int ColorGreen(TColor c) {
    return (c >> 8) & 0xFF;
}
constexpr int ColorBlue(TColor c) {
    return (c >> 16) & 0xFF;
}
