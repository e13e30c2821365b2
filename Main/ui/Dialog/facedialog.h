#pragma once

#include "win/resizeinterface.h"

#include <QDialog>
#include <QFileInfo>
#include <QList>
#include <QPointer>

#include <memory>

namespace Ui {
class FaceDialog;
}

// The chat room's emoticon picker: a frameless popup with a grid of image buttons above the anchor widget
// (the chat form's emoticon button). A click on an image hides the picker and sends the image's path to
// the receivers of AddFaceEvent through EventDeliverer.
// Owned by its Qt parent; deleted (deferred) when its anchor is destroyed. Cannot be resized. GUI thread
// only; nothing in it fails.
class FaceDialog : public QDialog, public ResizeInterface {
    Q_OBJECT
    Q_PROPERTY(int rightOffset READ rightOffset WRITE setRightOffset)
    Q_PROPERTY(int bottomOffset READ bottomOffset WRITE setBottomOffset)
public:
    explicit FaceDialog(QWidget* parent = nullptr);
    ~FaceDialog() override;

    // A null widget, or the anchor already set, changes nothing.
    void setAnchorWidget(QWidget* widget);
    // Appends one row of buttons per (up to) eight files and fixes the picker's size to its rows.
    void setFaceFiles(const QList<QFileInfo>& files);
    // Opens the picker with its bottom-left corner on the anchor's top-left corner; a null anchor does
    // nothing.
    void popupAt(QWidget* anchor);
    // Opens the picker with its bottom edge on `globalPoint` (moved by the offsets), kept on the screen of
    // the anchor.
    void showAt(const QPoint& globalPoint);

    int rightOffset() const { return m_rightOffset; }
    void setRightOffset(int offset) { m_rightOffset = offset; }
    int bottomOffset() const { return m_bottomOffset; }
    void setBottomOffset(int offset) { m_bottomOffset = offset; }

    bool isOnTopEdge(QPoint point) override;
    bool isOnBottomEdge(QPoint point) override;
    bool isOnLeftEdge(QPoint point) override;
    bool isOnRightEdge(QPoint point) override;
    bool isOnCaption(QPoint point) override;
    void onSizing(int edgeFlags, long* top, long* bottom, long* left, long* right) override;

public slots:
    void slot_addFace();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* makeButton(const QString& path);
    void addRow(QList<QWidget*> buttons);
    void chooseFace(const QString& path);
    QRect anchorScreen(const QPoint& globalPoint) const;

    std::unique_ptr<Ui::FaceDialog> ui;
    int m_rightOffset = 0;
    int m_bottomOffset = 0;
    QPointer<QWidget> m_anchor;
    QList<QFileInfo> m_faces;
    int m_facesPerRow = 8;
    int m_widestRow = 0;
};
