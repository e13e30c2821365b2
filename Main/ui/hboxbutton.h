#pragma once

#include <QColor>
#include <QPushButton>
#include <QString>

class QLabel;

// A push button drawn as an image label and a text label side by side, whose image and text colour
// follow its state: disabled, then checked, then hovered, then normal. The setters only store; the look
// changes at the next show, enter, leave, enable change or check change. GUI thread only.
class HBoxButton : public QPushButton {
    Q_OBJECT
public:
    explicit HBoxButton(QWidget* parent = nullptr);

    void setText(const QString& text);
    void setTextAlignment(Qt::Alignment alignment);

    void setNormalImage(const QString& path);
    void setHoverImage(const QString& path);
    void setCheckedImage(const QString& path);
    void setDisabledImage(const QString& path);

    void setNormalColor(const QColor& color);
    void setHoverColor(const QColor& color);
    void setCheckedColor(const QColor& color);
    void setDisabledColor(const QColor& color);

protected:
    void enterEvent(QEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void checkStateSet() override;
    void nextCheckState() override;

private:
    void updateStyle();

    QLabel* m_image;
    QLabel* m_text;
    QString m_normalImage;
    QString m_hoverImage;
    QString m_checkedImage;
    QString m_disabledImage;
    QColor m_normalColor = Qt::black;
    QColor m_hoverColor;
    QColor m_checkedColor;
    QColor m_disabledColor;
    bool m_hovered = false;
    bool m_enabled = true;
};
