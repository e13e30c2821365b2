#pragma once

#include <QPixmap>
#include <QWidget>

#include <memory>

class QMovie;
namespace Ui {
class QRCodeWidget;
}

// The square on the login dialog's QR page: blank, loading (animation in a light frame), refresh prompt or
// the downloaded QR picture. Mode 3 fetches the picture on Qt's global thread pool; the newest request wins
// (an older download that finishes later is dropped), and a download that ends after the widget is gone
// reaches nothing. A failed download is logged and leaves the loading look. GUI thread.
class QRCodeWidget : public QWidget {
    Q_OBJECT
public:
    enum Mode { Blank = 0, Loading = 1, RefreshPrompt = 2, Image = 3 };

    explicit QRCodeWidget(QWidget* parent = nullptr);
    ~QRCodeWidget() override;

    void load(int mode, const QString& url);
    int mode() const { return m_mode; }
    const QPixmap& pixmap() const { return m_pixmap; }

    // Bound of one picture download.
    static constexpr long long kMaxPictureBytes = 4 * 1024 * 1024;
    static constexpr long long kDownloadTimeoutMs = 15000;

signals:
    void sigRefresh();
    void sigState(int state);

public slots:
    void ShowQRCode();

private slots:
    void on_toolButton_login_qrcodeRefresh_clicked();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct Download;
    static void downloadImage(std::shared_ptr<Download> download);

    std::unique_ptr<Ui::QRCodeWidget> ui;
    QPixmap m_pixmap;
    int m_mode = Blank;
    QMovie* m_movie = nullptr;
    quint64 m_lastDownload = 0;
};
