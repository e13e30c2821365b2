#pragma once

#include <QPointer>
#include <QWidget>

class QPushButton;

// The title bar of a frameless window: window icon, title, then minimise, maximise/restore and close
// buttons, painted in the header colour. Reads the host's properties "header_visible", "header_color",
// "header_btns" and "header_height" once, at construction. GUI thread.
class TitleHeader : public QWidget {
    Q_OBJECT
public:
    TitleHeader(QWidget* host, bool maximizable, bool minimable);

    // The widgets of the bar (and the host's "header_btns") that take clicks instead of dragging.
    QObjectList titleObjects() const { return m_titleObjects; }
    QString headerColor() const { return m_headerColor; }

    bool eventFilter(QObject* watched, QEvent* event) override;

signals:
    void windowStateChanged();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void applyProperties();
    QPushButton* addButton(const char* objectName);

    QPointer<QWidget> m_host;
    QObjectList m_titleObjects;
    QString m_headerColor;
};
