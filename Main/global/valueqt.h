#pragma once

#include <bridge/value.h>

#include <QString>

namespace bg {

// bg::Value with Qt types: a QString's UTF-8 text (tag 13) and the geometry of QRectF (14), QRect (15),
// QPointF (16), QPoint (17), QSizeF (18) and QSize (19), kept in the inline area. The tags reuse numbers of
// the base (13 is VT_PTR there), so only the class tells them apart.
//
// The text of a QString value is shared with every plain bg::Value copy (which sees a VT_PTR) and is never
// released: it stays valid for the rest of the process. Equal texts share one buffer.
// Same thread rules as bg::Value; read() reports failure by its result and never throws.
class ValueQt : public Value {
public:
    enum QtType : unsigned short {
        QT_STRING = 13,
        QT_RECTF = 14,
        QT_RECT = 15,
        QT_POINTF = 16,
        QT_POINT = 17,
        QT_SIZEF = 18,
        QT_SIZE = 19,
    };

    explicit ValueQt(const QString& text);

    std::string write() const override;
    bool read(const char* text) override;

private:
    void setSharedText(const char* bytes, int len);
    bool readQtForm(const std::string& tag, const char* payload);
    double inlineDouble(int index) const;
    int inlineInt(int index) const;
    void setInlineDoubles(int first, const double* values, int count);
    void setInlineInts(int first, const int* values, int count);
};

} // namespace bg
