#include "media/colormatrix.h"

#include <libyuv/convert_argb.h>

// R = 1.164384 y + 1.596027 v - 0.874202
// G = 1.164384 y - 0.391762 u - 0.812968 v + 0.531668
// B = 1.164384 y + 2.017232 u - 1.085631
const ColorMatrix kBt601LimitedRange = {
    {
        { 1.164384f, 1.164384f, 1.164384f, 0.0f },
        { 0.0f, -0.391762f, 2.017232f, 0.0f },
        { 1.596027f, -0.812968f, 0.0f, 0.0f },
        { -0.874202f, 0.531668f, -1.085631f, 1.0f },
    },
    &libyuv::kYuvI601Constants,
};
