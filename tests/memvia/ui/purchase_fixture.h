#pragma once

#include "base/vip/ordermgr.h"
#include "base/vip/vipdata.h"
#include "base/vip/vipnet.h"
#include "ui/userinfodialog.h"

#include "memvia/memvia_fixture.h"

#include <bridge/dataauth.h>
#pragma push_macro("emit")
#undef emit
#include <bridge/signal.h>
#pragma pop_macro("emit")

#include <korvex/zovnet.h>

#include <QApplication>
#include <QDialog>
#include <QImage>
#include <QPainter>
#include <QPointer>
#include <QTimer>

#include <zbar.h>

#include <functional>
#include <string>
#include <vector>

// The plug-in's component with a data store and a signal hub, a local service, and a signed-in account.
// Orders poll fast; every order of the previous test is abandoned.
class PurchaseFixture : public MembershipFixture {
protected:
    void SetUp() override
    {
        MembershipFixture::SetUp();
        component.data = &data;
        component.signal = &hub;
        hub.connect(
            "vipstate_sig",
            [this](const char*, const bg::Value& value, bg::ReplyCallback) {
                vipStates.push_back(value.toStdString());
            },
            1);
        Base::setDpiScaleOverride(1.0);
        OrderMgr::instance()->clearAll();
        OrderMgr::instance()->setPollIntervalMs(100);
        VipData::instance()->clear();
    }
    void TearDown() override
    {
        OrderMgr::instance()->clearAll();
        OrderMgr::instance()->setPollIntervalMs(3000);
        VipData::instance()->clear();
        Base::setDpiScaleOverride(0);
        component.data = nullptr;
        component.signal = nullptr;
    }

    // Signs in through the service, as the login command does.
    void signIn(const std::string& account, const std::string& password)
    {
        Completion done;
        VipNet::instance()->checkLoginByAccount(account, password, done.callback());
        ASSERT_TRUE(done.wait());
        ASSERT_EQ(done.errcode, 0) << done.errmsg;
        VipData::instance()->parseLoginInfo(parseJsonText(done.result));
    }

    int requestCount(const std::string& path) const
    {
        int count = 0;
        for (const auto& request : service->requests())
            count += request.path == path;
        return count;
    }

    std::vector<devservice::RecordedRequest> requestsTo(const std::string& path) const
    {
        std::vector<devservice::RecordedRequest> found;
        for (const auto& request : service->requests()) {
            if (request.path == path)
                found.push_back(request);
        }
        return found;
    }

    // Opens a pay page as the phone would after scanning: the order is paid at the service.
    static void openPayPage(const QString& url)
    {
        const Zov_Client::ZovResponse response = Zov_Client::ZovNet(url.toStdString()).get(std::string());
        ASSERT_EQ(response.status, 200) << response.body;
    }

    bg::DataAuth data;
    bg::Signal hub;
    std::vector<std::string> vipStates;
};

// The text of the QR code in a picture, as a phone's camera reads it.
inline std::string readQrCode(const QImage& picture)
{
    // Zbar wants a quiet zone and modules of more than a pixel: enlarge without smoothing, on white.
    const QImage large = picture.scaled(picture.size() * 4, Qt::KeepAspectRatio, Qt::FastTransformation);
    QImage canvas(large.size() + QSize(80, 80), QImage::Format_RGB32);
    canvas.fill(Qt::white);
    QPainter(&canvas).drawImage(40, 40, large);
    const QImage grey = canvas.convertToFormat(QImage::Format_Grayscale8);
    std::string pixels;
    for (int y = 0; y < grey.height(); ++y)
        pixels.append(reinterpret_cast<const char*>(grey.constScanLine(y)), size_t(grey.width()));
    zbar::ImageScanner scanner;
    scanner.set_config(zbar::ZBAR_QRCODE, zbar::ZBAR_CFG_ENABLE, 1);
    zbar::Image image(unsigned(grey.width()), unsigned(grey.height()), "Y800", pixels.data(), pixels.size());
    if (scanner.scan(image) <= 0)
        return std::string();
    return image.symbol_begin()->get_data();
}

// Watches for the next modal dialog: hands it to `inspect`, then rejects it if it is still open. Gives up
// after the deadline.
class ModalWatcher : public QObject {
public:
    explicit ModalWatcher(std::function<void(QDialog*)> inspect = {}, int deadlineMs = 20000)
        : m_inspect(std::move(inspect))
    {
        m_deadline.setSingleShot(true);
        m_deadline.start(deadlineMs);
        connect(&m_poll, &QTimer::timeout, this, [this] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!dialog && m_deadline.isActive())
                return;
            m_poll.stop();
            if (dialog) {
                seen = true;
                if (m_inspect)
                    m_inspect(dialog);
                if (dialog->isVisible())
                    dialog->reject();
            }
        });
        m_poll.start(10);
    }
    bool seen = false;

private:
    std::function<void(QDialog*)> m_inspect;
    QTimer m_poll;
    QTimer m_deadline;
};
