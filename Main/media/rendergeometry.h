#pragma once

#include <QRect>
#include <QSize>
#include <QSizeF>

#include <cstdint>

// The arithmetic of the two frame renderers, without any widget.

// The rotation folded into 0..359 (450 -> 90, -90 -> 270). Rotations turn the picture clockwise.
int normalizedRotation(int rotation);

// The size the OpenGL renderer draws a picture of `picture` pixels at in an `area`: the picture turned by
// the rotation (90 and 270 swap its sides), fitted into the area keeping its aspect ratio. The caller
// centres it.
QSizeF fittedPictureSize(QSizeF picture, int rotation, QSizeF area);

// The part of each texture row that holds picture: width / stride when a padded stride is wider than the
// picture, else 1. For the chroma planes pass the luma width: their picture width is half of it.
float lumaStrideScale(uint32_t width, uint32_t strideY);
float chromaStrideScale(uint32_t width, uint32_t strideUV);

// The picture size the painter renderer converts a w x h frame to: for 90 and 270 the sides swap; for
// 90, 180 and 270 the width is rounded down to a multiple of 8 and the height to a multiple of 2, as the
// rotation needs. A side that rounds to 0 gives an empty size.
QSize painterPictureSize(uint32_t width, uint32_t height, int rotation);

// Where the painter renderer draws an image in a widget: as large as fits keeping the aspect ratio,
// centred. Empty for an empty image or widget.
QRect painterTargetRect(QSize image, QSize widget);
