#pragma once

namespace libyuv {
struct YuvConstants;
}

// A YUV to RGB conversion, in the two forms the renderers use: a 4 x 4 matrix for the shader (columns in
// order, with y, u, v in 0..1: RGB = M x (y, u, v, 1)) and the same matrix as libyuv's constants.
struct ColorMatrix {
    float columns[4][4];
    const libyuv::YuvConstants* libyuvConstants;
};

// BT.601, limited range (luma 16..235, chroma 16..240) into full-range RGB: what the connections deliver
// and what libyuv's I420ToARGB applies. Both renderers use it, so a frame shows the same colours in either.
extern const ColorMatrix kBt601LimitedRange;
