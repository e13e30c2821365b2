#pragma once

#include <QString>
#include <QTimer>
#include <QWidget>

#include <cstdint>

// Shows one third source live: the newest picture pushed under the bound id, fitted into the widget with
// its aspect kept, on black. Unbound, or before the source's first picture, the widget is black. Binding an
// id that no source has is not an error: the widget stays black until a source of that id is fed.
// GUI thread only.
class SourceWidget : public QWidget {
    Q_OBJECT
public:
    explicit SourceWidget(QWidget* parent = nullptr);
    ~SourceWidget() override;

    // Starts drawing the source of `id` (UTF-8); a null id binds the empty id.
    void InitializeSource(const char* id);
    // Stops drawing and lets the source go.
    void FinalizeSource();

    bool isSourceInitialized() const { return m_bound; }
    QString sourceId() const { return m_id; }
    // How many times InitializeSource has been called on this widget.
    int initializeCount() const { return m_initializeCount; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void poll();

    QString m_id;
    bool m_bound = false;
    int m_initializeCount = 0;
    uint64_t m_shownSequence = 0;
    QImage m_picture;
    QTimer m_poll;
};
