#include "wechat/webqrcodemgr.h"

#include "base/logmask.h"
#include "base/memvialog.h"
#include "base/vip/vipnet.h"

#include <bridge/crypt.h>
#include <bridge/valuemap.h>

#include <korvex/zovnet.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <chrono>

namespace {

constexpr int kUnreadable = 10000;
constexpr int kTimedOut = 28; // korvex's code of a transfer that ran into its time-out

std::atomic<int> pollIntervalMs { 1500 };
std::atomic<int> pageTimeoutMs { 5000 };

struct CodeState {
    int code;
    int state;
};
const CodeState kCodeStates[] = {
    { 404, WebQRCodeMgr::Waiting },
    { 403, WebQRCodeMgr::Cancelled },
    { 405, WebQRCodeMgr::Confirmed },
    { 408, WebQRCodeMgr::NotScanned },
    { 402, WebQRCodeMgr::Expired },
    { 500, WebQRCodeMgr::Expired },
};

bool endsPolling(int state)
{
    return state == WebQRCodeMgr::Cancelled || state == WebQRCodeMgr::Confirmed
        || state == WebQRCodeMgr::Expired || state == WebQRCodeMgr::Failed;
}

std::string pageAddress(const std::string& pattern, int lastCode)
{
    const qint64 stamp = QDateTime::currentMSecsSinceEpoch() / 1000 * 1000 + 123;
    QString address = QString::fromStdString(pattern);
    address.replace(QLatin1String("$1"), QString::number(lastCode));
    address.replace(QLatin1String("$2"), QString::number(stamp));
    return address.toStdString();
}

// The page as the log may show it: the WeChat code is an authorisation.
std::string maskedPage(const std::string& page)
{
    QString text = QString::fromStdString(page);
    const QStringList parts = text.split(';');
    QStringList masked;
    for (const QString& part : parts) {
        const QStringList pair = part.split('=');
        if (pair.size() == 2 && pair[0].trimmed().compare("window.wx_code", Qt::CaseInsensitive) == 0)
            masked << pair[0] + "='***'";
        else
            masked << part;
    }
    return masked.join(';').toStdString();
}

} // namespace

struct WebQRCodeMgr::Attempt {
    bg::MsgCallback callback;
    std::string pattern;
    bool localParse = false;
    quint64 id = 0;
    std::atomic<bool> stopFlag { false };
    std::atomic<bool> done { false }; // the thread has left its loop
    std::mutex mutex;
    std::condition_variable wake;
    std::thread thread;

    void stop()
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            stopFlag = true;
        }
        wake.notify_all();
    }
    // Waits `ms` or until stopped; true when stopped.
    bool pause(int ms)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return wake.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopFlag.load(); });
    }
};

WebQRCodeMgr::WebQRCodeMgr(QObject* parent)
    : QObject(parent)
{
    qRegisterMetaType<ScanCbObject>("ScanCbObject");
    if (QCoreApplication* application = QCoreApplication::instance())
        connect(application, &QCoreApplication::aboutToQuit, this, &WebQRCodeMgr::stopAll);
}

WebQRCodeMgr::~WebQRCodeMgr() { stopAll(); }

WebQRCodeMgr* WebQRCodeMgr::instance()
{
    static WebQRCodeMgr* manager = new WebQRCodeMgr;
    return manager;
}

void WebQRCodeMgr::setPollIntervalMs(int milliseconds) { pollIntervalMs = milliseconds; }

void WebQRCodeMgr::setPageTimeoutMs(int milliseconds) { pageTimeoutMs = milliseconds; }

int WebQRCodeMgr::threadCount()
{
    reapFinished();
    return int(m_retired.size()) + (m_current && m_current->thread.joinable() ? 1 : 0);
}

void WebQRCodeMgr::start(const bg::MsgCallback& callback)
{
    reapFinished();
    const quint64 request = ++m_lastRequest;
    VipNet::instance()->getWechatWebQRCode(
        [this, callback, request](int errcode, std::string errmsg, std::string result) {
            // Replies may come back in another order than their requests: a newer command has taken over.
            if (request != m_lastRequest)
                return;
            onWechatWebQRCode(errcode, errmsg, result, callback);
        });
}

void WebQRCodeMgr::onWechatWebQRCode(
    int errcode, const std::string& errmsg, const std::string& result, const bg::MsgCallback& callback)
{
    bg::ValueMap map;
    map["type"] = bg::Value("net");
    map["errcode"] = bg::Value(errcode);
    map["errmsg"] = bg::Value(errmsg);
    if (errcode != 0) {
        BG_LOGE("vip_wechatWebQRCode err: %s", errmsg.c_str());
    } else {
        const Json::Value reply = Base::parseJson(result);
        const std::string pattern = Base::stringMember(reply, "wechat_net");
        if (!pattern.empty()) {
            auto attempt = std::make_shared<Attempt>();
            attempt->callback = callback;
            attempt->pattern = pattern;
            attempt->localParse = Base::Base::intMember(reply, "local") > 0;
            replaceAttempt(std::move(attempt));
        }
        map["wechat_qrcode"] = bg::Value(Base::stringMember(reply, "wechat_qrcode"));
    }
    if (callback)
        callback(bg::Value(map));
}

void WebQRCodeMgr::stopCurrent()
{
    ++m_lastRequest; // a code reply still on its way starts nothing
    if (!m_current)
        return;
    m_current->stop();
    m_retired.push_back(std::move(m_current));
    // Joined once it has left its cycle (its requests are aborted); the GUI thread never waits for it here.
    QTimer::singleShot(pollIntervalMs + 2000, this, &WebQRCodeMgr::reapFinished);
}

void WebQRCodeMgr::replaceAttempt(std::shared_ptr<Attempt> attempt)
{
    if (m_current) {
        m_current->stop();
        m_retired.push_back(std::move(m_current));
        QTimer::singleShot(pollIntervalMs + 2000, this, &WebQRCodeMgr::reapFinished);
    }
    attempt->id = m_nextAttempt++;
    m_current = attempt;
    attempt->thread = std::thread(&WebQRCodeMgr::pollLoop, attempt);
}

void WebQRCodeMgr::reapFinished()
{
    for (auto it = m_retired.begin(); it != m_retired.end();) {
        if ((*it)->done) {
            (*it)->thread.join();
            it = m_retired.erase(it);
        } else {
            ++it;
        }
    }
    if (m_current && m_current->done) {
        m_current->thread.join();
        m_current.reset();
    }
}

void WebQRCodeMgr::stopAll()
{
    if (m_current) {
        m_current->stop();
        m_retired.push_back(std::move(m_current));
    }
    for (auto& attempt : m_retired) {
        attempt->stop();
        if (attempt->thread.joinable())
            attempt->thread.join();
    }
    m_retired.clear();
}

void WebQRCodeMgr::pollLoop(std::shared_ptr<Attempt> attempt)
{
    int lastCode = 0;
    bool finished = false;
    while (!finished && !attempt->stopFlag) {
        Zov_Client::ZovNet client { std::string() };
        client.setTimeoutMs(pageTimeoutMs);
        client.setAbortFlag(&attempt->stopFlag);
        const Zov_Client::ZovResponse response = client.get(pageAddress(attempt->pattern, lastCode));
        if (attempt->stopFlag)
            break;
        if (response.status == kTimedOut)
            continue;
        if (response.status != 200) {
            BG_LOGE("vip_wechatWebQRCode poll: status %d", response.status);
            report(attempt, Failed, std::string());
            break;
        }
        std::string wxcode;
        const int code = parseScanBody(attempt->localParse, response.body, wxcode, &attempt->stopFlag);
        lastCode = code;
        const int state = stateOfCode(code);
        if (attempt->stopFlag)
            break;
        report(attempt, state, state == Confirmed ? wxcode : std::string());
        finished = endsPolling(state);
        if (!finished)
            attempt->pause(pollIntervalMs);
    }
    attempt->done = true;
}

void WebQRCodeMgr::report(const std::shared_ptr<Attempt>& attempt, int state, const std::string& wxcode)
{
    ScanCbObject object;
    object.callback = attempt->callback;
    object.state = state;
    object.wxcode = wxcode;
    object.attempt = attempt->id;
    QMetaObject::invokeMethod(instance(), "slot_callBack", Qt::QueuedConnection, Q_ARG(ScanCbObject, object));
}

void WebQRCodeMgr::slot_callBack(ScanCbObject object)
{
    // A superseded attempt's report that was already on its way.
    if (!m_current || m_current->id != object.attempt)
        return;
    bg::ValueMap map;
    map["type"] = bg::Value("scan");
    map["state"] = bg::Value(object.state);
    map["wxcode"] = bg::Value(object.wxcode);
    if (object.callback)
        object.callback(bg::Value(map));
    if (endsPolling(object.state))
        reapFinished();
}

int WebQRCodeMgr::stateOfCode(int code)
{
    for (const CodeState& entry : kCodeStates) {
        if (entry.code == code)
            return entry.state;
    }
    return Failed;
}

int WebQRCodeMgr::parseScanBody(
    bool localParse, const std::string& page, std::string& wxcode, const std::atomic<bool>* abort)
{
    if (localParse) {
        int code = -1;
        const QStringList parts = QString::fromStdString(page).split(';', Qt::KeepEmptyParts);
        for (const QString& rawPart : parts) {
            const QString part = rawPart.trimmed();
            if (part.isEmpty())
                continue;
            const QStringList pair = part.split('=');
            if (pair.size() != 2)
                continue;
            const QString name = pair[0].trimmed();
            if (name.compare("window.wx_errcode", Qt::CaseInsensitive) == 0) {
                bool ok = false;
                code = pair[1].trimmed().toInt(&ok);
                if (!ok) {
                    code = 0;
                    break;
                }
            } else if (name.compare("window.wx_code", Qt::CaseInsensitive) == 0) {
                QString value = pair[1].trimmed();
                wxcode = value.remove('\'').remove('"').toStdString();
            }
        }
        if (code != -1)
            return code;
        if (!wxcode.empty())
            return -1;
    }
    std::string encoded;
    if (bg::Interface* component = memvia::module(); component && component->crypt)
        encoded = component->crypt->base64_encode(page);
    else
        encoded = QByteArray::fromStdString(page).toBase64().toStdString();
    std::string errmsg;
    std::string result;
    if (VipNet::instance()->checkWechatScanBody(encoded, errmsg, result, abort) != 0) {
        BG_LOGE("服务器无法解析 %s,  Scanbody %s", errmsg.c_str(), maskedPage(page).c_str());
        return kUnreadable;
    }
    const Json::Value reply = Base::parseJson(result);
    const int code = Base::intMember(reply, "wx_errcode");
    wxcode = Base::stringMember(reply, "wx_code");
    return code;
}
