#pragma once

#include <QObject>
#include <QRect>

#include <functional>
#include <memory>

class QDialog;
class Selector;
class SelectWidget;

// Receives every rectangle the recording-area item reports; a null rectangle means that no area was chosen.
class AreaListener {
public:
    virtual ~AreaListener() = default;
    virtual void onAreaSelected(const QRect& rect) = 0;
};

// Runs one choice of a screen area to record: opens the selector overlay, checks the confirmed rectangle
// against the minimum size, reports it by finish() and to the listener, and keeps a frame round the accepted
// area. The item owns the overlay and the frame and replaces each with the next one; the listener is not
// owned and must outlive the item or be reset first. A too-small area is answered with a message and the
// null rectangle. GUI thread only.
class AreaItem : public QObject {
    Q_OBJECT
public:
    explicit AreaItem(QObject* parent = nullptr);
    ~AreaItem() override;

    void setListener(AreaListener* listener) { m_listener = listener; }
    // Physical desktop pixels; a null rectangle lets the overlay start from its own default.
    void setStartArea(const QRect& area) { m_startArea = area; }
    void setFrameInterval(int milliseconds) { m_frameInterval = milliseconds; }

    Selector* selector() const { return m_selector.get(); }
    SelectWidget* frame() const { return m_frame.get(); }

    static constexpr int kMinimumSide = 64;

    // Runs a modal dialog; tests answer it in place of the user (an empty function restores exec()).
    using ModalRunner = std::function<int(QDialog&)>;
    static void setModalRunner(ModalRunner runner);

signals:
    void finish(QRect rect);

public slots:
    // Starts a choice, replacing the overlay of an earlier one.
    void slot_delay_shot();

private slots:
    void finishshot(QRect rect);
    void quitshot();
    void slot_rect(QRect rect);

private:
    void report(const QRect& rect);
    void accept(const QRect& area);
    void showTooSmall(int width, int height);

    AreaListener* m_listener = nullptr;
    std::unique_ptr<Selector> m_selector;
    std::unique_ptr<SelectWidget> m_frame;
    QRect m_startArea;
    int m_frameInterval = 0;
};
