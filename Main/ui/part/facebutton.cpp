#include "ui/part/facebutton.h"

FaceButton::FaceButton()
    : QPushButton(nullptr)
{
}

FaceButton::~FaceButton() = default;
