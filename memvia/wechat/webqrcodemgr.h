#pragma once

#include "wechat/scancbobject.h"

#include <bridge/interface.h>

#include <QObject>

#include <atomic>
#include <condition_variable>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

// The WeChat web-QR sign-in: asks the membership service for a code and the address of the page that
// reports the scan, then polls that page on a thread of its own until the user has confirmed, cancelled or
// the attempt failed. Each step reaches the caller's callback on the GUI thread as a map:
//   {"type": "net", "errcode", "errmsg"[, "wechat_qrcode"]} once the code is known (or not),
//   {"type": "scan", "state", "wxcode"} after each decisive poll.
// A new start supersedes every earlier one, whose code reply and scans report nothing more; its thread is
// stopped and joined without blocking the GUI thread. A successful sign-in ends the attempt under way
// (`stopCurrent`). A stopped attempt's page fetch and scan-page request are aborted, not waited for. Every
// poll thread is owned and joined here: at the application's aboutToQuit and at `stopAll`.
//
// Process-wide, created on first use on the GUI thread; start, stopAll and the slot run there.
class WebQRCodeMgr : public QObject {
    Q_OBJECT
public:
    // Scan states reported to the callback.
    enum State { Waiting = 0, Cancelled = 1, Confirmed = 2, NotScanned = 3, Expired = 4, Failed = 5 };

    static WebQRCodeMgr* instance();
    ~WebQRCodeMgr() override;

    void start(const bg::MsgCallback& callback);
    // Ends the attempt under way, and a code request still on its way: nothing more is reported to its
    // callback. Returns at once; the thread is joined later.
    void stopCurrent();
    // Stops every attempt and joins its thread; requests under way are aborted (about a second at most).
    void stopAll();

    // The page code of a scan page; sets `wxcode` when the page names one. With `localParse` the page is
    // read here first; what it cannot read goes to the service (blocking; 10000 when that fails).
    // `abort`, when given, ends the service's request early (10000).
    static int parseScanBody(bool localParse, const std::string& page, std::string& wxcode,
        const std::atomic<bool>* abort = nullptr);
    // The state a page code stands for.
    static int stateOfCode(int code);

    // Seams for tests: the pause between polls (1.5 s) and the bound of one page fetch (5 s).
    static void setPollIntervalMs(int milliseconds);
    static void setPageTimeoutMs(int milliseconds);
    // Attempts whose threads have not been joined yet (the current one included).
    int threadCount();

public slots:
    void slot_callBack(ScanCbObject object);

private:
    struct Attempt;

    explicit WebQRCodeMgr(QObject* parent = nullptr);
    void onWechatWebQRCode(
        int errcode, const std::string& errmsg, const std::string& result, const bg::MsgCallback& callback);
    void replaceAttempt(std::shared_ptr<Attempt> attempt);
    void reapFinished();
    static void pollLoop(std::shared_ptr<Attempt> attempt);
    static void report(const std::shared_ptr<Attempt>& attempt, int state, const std::string& wxcode);

    std::shared_ptr<Attempt> m_current;
    std::list<std::shared_ptr<Attempt>> m_retired; // stopped, their threads not yet joined
    quint64 m_nextAttempt = 1;
    quint64 m_lastRequest = 0; // the newest start; the replies of older ones are dropped
};
