#pragma once

#include <QPushButton>
#include <QString>

// One emoticon of the emoticon picker: a push button that carries the path of the image it shows.
// Made without parent; whoever puts it into a layout owns it from then on. GUI thread only.
class FaceButton : public QPushButton {
    Q_OBJECT
public:
    FaceButton();
    ~FaceButton() override;

    // The image file's path, as the picker was given it (empty at construction).
    QString path() const { return m_path; }
    void setPath(const QString& path) { m_path = path; }

private:
    QString m_path;
};
