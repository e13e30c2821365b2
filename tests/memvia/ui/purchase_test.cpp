// The purchase dialog against the local service: products and cards, orders and their QR codes, the poll
// that finds them paid, and the success dialog.
#include "base/vip/productdata.h"
#include "memviaobj.h"
#include "ui/userpayform.h"
#include "ui/vipitembutton.h"
#include "ui/vippaybuttonsform.h"
#include "ui/vippaydialog.h"
#include "ui/vippaysuccessdialog.h"
#include "ui/wechatalipayform.h"

#include "purchase_fixture.h"

#include <QButtonGroup>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QToolButton>

#include <optional>

namespace {

std::string productList(const std::vector<std::pair<int, int>>& idsAndDays, double price = 98)
{
    Json::Value list(Json::arrayValue);
    for (const auto& [id, days] : idsAndDays) {
        Json::Value item(Json::objectValue);
        item["id"] = id;
        item["name"] = "p" + std::to_string(id);
        item["real_price"] = price;
        item["prime_price"] = "120";
        item["valid_day"] = days;
        list.append(item);
    }
    Json::Value result(Json::objectValue);
    result["productList"] = list;
    return Json::FastWriter().write(result);
}

std::vector<int> ids(const std::vector<ProductItem>& items)
{
    std::vector<int> result;
    for (const ProductItem& item : items)
        result.push_back(item.id);
    return result;
}

const char kCreate[] = "/goapi/user/createPcOrder";
const char kCheck[] = "/goapi/user/checkOrder";
const char kState[] = "/goapi/user/getProductState";

class PurchaseTest : public PurchaseFixture {
protected:
    void SetUp() override
    {
        PurchaseFixture::SetUp();
        signIn("demo", "demo1234");
    }

    // A payment form of the personal page with the service's product `id` chosen, once its code shows.
    std::unique_ptr<WechatAliPayForm> formWithOrder(int id)
    {
        Completion list;
        VipNet::instance()->getProductList(0, list.callback());
        EXPECT_TRUE(list.wait());
        ProductData::instance()->parsePersonal(Base::parseJson(list.result));
        auto form = std::make_unique<WechatAliPayForm>(0);
        form->show();
        form->slot_createOrder(id);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !form->shownKey(1).isEmpty(); }, 20000));
        return form;
    }

    QString qrOf(const QString& key)
    {
        const OrderRecord* order = OrderMgr::instance()->find(key);
        return order ? order->qrCode : QString();
    }

    static QStackedWidget* stack(QWidget* form, const char* name)
    {
        return form->findChild<QStackedWidget*>(name);
    }
};

} // namespace

TEST(Products, ListOrderAndCards)
{
    MemviaComponent component;
    Base::setDpiScaleOverride(1.0);
    const struct {
        const char* name;
        std::vector<std::pair<int, int>> products;
        std::vector<int> order;
    } cases[] = {
        { "longest first, then ascending", { { 1, 30 }, { 2, 365 }, { 3, 90 } }, { 2, 1, 3 } },
        { "one of the longest", { { 1, 365 }, { 2, 30 }, { 3, 365 } }, { 3, 2 } },
        { "five products", { { 1, 30 }, { 2, 90 }, { 3, 180 }, { 4, 730 }, { 5, 365 } }, { 4, 1, 2, 3, 5 } },
        { "no list", {}, {} },
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(ids(ProductData::orderProducts(parseJsonText(productList(row.products)))), row.order);
    }
    EXPECT_TRUE(ProductData::orderProducts(parseJsonText(R"({"productList": {"id": 1}})")).empty());

    ProductData::instance()->parsePersonal(parseJsonText(productList(cases[2].products)));
    VipPayButtonsForm form(0);
    form.buildButtons(0);
    const QList<QAbstractButton*> cards = form.group()->buttons();
    ASSERT_EQ(cards.size(), 4) << "at most four cards";
    EXPECT_EQ(cards[0]->objectName(), "toolButton_vipItem_user_first");
    EXPECT_EQ(cards[1]->objectName(), "toolButton_vipItem_user");
    EXPECT_EQ(form.group()->id(cards[0]), 4);
    Base::setDpiScaleOverride(0);
}

TEST(Products, CardTexts)
{
    MemviaComponent component;
    const struct {
        const char* json;
        const char* price;
        const char* unit;
    } cases[] = {
        { R"({"id": 1, "name": "年度", "real_price": 98, "valid_day": 365})", "98", "仅需￥8.05/月" },
        { R"({"id": 2, "name": "季度", "real_price": "68.5", "valid_day": 90})", "68.5", "仅需￥22.83/月" },
        { R"({"id": 3, "name": "赠送", "real_price": 98, "valid_day": 0})", "98", "" },
        { R"({"id": 4, "name": "坏", "real_price": null, "valid_day": -5})", "0", "" },
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.json);
        const ProductItem item = ProductItem::fromJson(parseJsonText(row.json));
        VipItemButton card(&item, 0, 1);
        EXPECT_EQ(card.findChild<QLabel*>("label_price_user")->text(), QString::fromUtf8(row.price));
        EXPECT_EQ(card.findChild<QLabel*>("label_unit_user")->text(), QString::fromUtf8(row.unit));
        EXPECT_FALSE(card.findChild<QLabel*>("label_unit_user")->text().contains("inf"));
    }
}

TEST_F(PurchaseTest, EmptyBusinessListHidesItsTabAndThePersonalPageOrdersTheFirstCard)
{
    devservice::Route lists;
    lists.aesKey = "norvo.zq_&^%*_84";
    lists.envelope = true;
    lists.signedBody = false;
    lists.handler = [](const devservice::RecordedRequest& request) {
        const bool business = request.members["type"].asInt() == 2;
        return devservice::ScriptedReply::success(
            Json::Value(business ? productList({}) : productList({ { 7, 30 }, { 8, 365 } })));
    };
    service->addRoute("/goapi/user/getProductList", lists);
    VipPayDialog dialog;
    dialog.show();
    auto* businessTab = dialog.findChild<QToolButton*>("toolButton_busipay");
    ASSERT_TRUE(QTest::qWaitFor([&] { return businessTab->isHidden(); }, 20000));
    EXPECT_TRUE(dialog.findChild<QWidget*>("widget_line")->isVisible());
    ASSERT_TRUE(QTest::qWaitFor([&] { return requestCount(kCreate) == 1; }, 20000));
    const auto create = requestsTo(kCreate).front().members;
    EXPECT_EQ(create["product_id"].asInt(), 8) << "the card of the longest validity";
    EXPECT_EQ(create["pay_way"].asString(), "c") << "by WeChat";
}

TEST_F(PurchaseTest, SwitchingPayWaysReusesTheWechatOrder)
{
    auto form = formWithOrder(3);
    const QString wechat = form->shownKey(1);
    EXPECT_EQ(wechat, OrderMgr::orderKey(10001, 3, 1));
    QTest::mouseClick(form->findChild<QToolButton*>("toolButton_alipay"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->shownKey(2).isEmpty(); }, 20000));
    EXPECT_EQ(stack(form.get(), "stackedWidget")->currentWidget()->objectName(), "page_alipay");
    const QImage wechatCode
        = form->findChild<QLabel*>("label_payqrcode_wc")->pixmap(Qt::ReturnByValue).toImage();
    QTest::mouseClick(form->findChild<QToolButton*>("toolButton_wechat"), Qt::LeftButton);
    EXPECT_EQ(stack(form.get(), "stackedWidget")->currentWidget()->objectName(), "page_wechat");
    EXPECT_EQ(
        form->findChild<QLabel*>("label_payqrcode_wc")->pixmap(Qt::ReturnByValue).toImage(), wechatCode);
    const auto creates = requestsTo(kCreate);
    ASSERT_EQ(creates.size(), 2u) << "one WeChat and one Alipay order";
    EXPECT_EQ(creates[0].members["pay_way"].asString(), "c");
    EXPECT_EQ(creates[1].members["pay_way"].asString(), "f");
    EXPECT_EQ(OrderMgr::instance()->find(wechat)->countdown, OrderMgr::kLifetimePolls);
}

TEST_F(PurchaseTest, ExpiredCodeOffersARefreshThatMakesANewOrder)
{
    auto form = formWithOrder(1);
    const int firstOrder = OrderMgr::instance()->find(form->shownKey(1))->orderId;
    QStackedWidget* area = stack(form.get(), "stackedWidget_wc");
    EXPECT_EQ(area->currentWidget()->objectName(), "page_payqrcode_wc");
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return area->currentWidget()->objectName() == "page_refresh_wc"; }, 20000));
    EXPECT_GE(requestCount(kCheck), 30) << "polled until it expired";
    EXPECT_EQ(stack(form.get(), "stackedWidget_ali")->currentWidget()->objectName(), "page_refresh_ali");

    QTest::mouseClick(form->findChild<QPushButton*>("pushButton_refreah_wc"), Qt::LeftButton);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return area->currentWidget()->objectName() == "page_payqrcode_wc"; }, 20000));
    EXPECT_EQ(requestCount(kCreate), 2);
    EXPECT_NE(OrderMgr::instance()->find(form->shownKey(1))->orderId, firstOrder);
}

TEST_F(PurchaseTest, OnlyAPaidAndDealtOrderIsAPayment)
{
    OrderMgr::instance()->setPollIntervalMs(60 * 60 * 1000); // polled by hand below
    auto form = formWithOrder(2);
    QSignalSpy paid(form.get(), &WechatAliPayForm::sig_paySuccess);
    QSignalSpy unseen(OrderMgr::instance(), &OrderMgr::sig_paidUnseen);
    for (const char* result : { R"({"pay_status": 1, "deal_status": 0})",
             R"({"pay_status": 1, "deal_status": 1})", R"({"pay_status": 1, "deal_status": 1})" }) {
        service->script(kCheck, devservice::ScriptedReply::success(Json::Value(result)));
        const int before = requestCount(kCheck);
        OrderMgr::instance()->poll();
        (void)QTest::qWaitFor([&] { return requestCount(kCheck) > before; }, 1000);
        QTest::qWait(200);
    }
    EXPECT_EQ(paid.count(), 1) << "1/0 is no payment; 1/1 is reported once";
    EXPECT_EQ(unseen.count(), 0) << "the form reported it";
    EXPECT_EQ(requestCount(kCheck), 2) << "a paid order is no longer polled";
}

// A listener that reports the payment itself acknowledges it, however it is connected: the payment is then
// announced to nobody else, and without one it is announced exactly once.
TEST_F(PurchaseTest, AcknowledgementDoesNotDependOnTheConnection)
{
    OrderMgr* orders = OrderMgr::instance();
    orders->setPollIntervalMs(60 * 60 * 1000); // polled by hand below
    const struct {
        const char* name;
        std::optional<Qt::ConnectionType> listener;
        int unseen;
    } cases[] = {
        { "queued listener", Qt::QueuedConnection, 0 },
        { "direct listener", Qt::DirectConnection, 0 },
        { "no listener", std::nullopt, 1 },
    };
    int product = 1;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString key = orders->createOrder(product, 1, 0, "x");
        ASSERT_TRUE(QTest::qWaitFor([&] { return orders->find(key) != nullptr; }, 20000));
        QObject listener;
        int reported = 0;
        if (c.listener) {
            QObject::connect(
                orders, &OrderMgr::sig_pay, &listener,
                [&](QString paidKey, int, bool okay) {
                    if (okay && paidKey == key) {
                        ++reported;
                        OrderMgr::instance()->acknowledge(paidKey);
                    }
                },
                *c.listener);
        }
        QSignalSpy unseen(orders, &OrderMgr::sig_paidUnseen);
        service->script(kCheck, devservice::ScriptedReply::success(Json::Value(R"({"pay_status": 1, "deal_status": 1})")));
        const int before = requestCount(kCheck);
        orders->poll();
        ASSERT_TRUE(QTest::qWaitFor([&] { return requestCount(kCheck) > before; }, 20000));
        ASSERT_TRUE(QTest::qWaitFor([&] { return orders->find(key) == nullptr; }, 20000));
        QTest::qWait(200);
        EXPECT_EQ(reported, c.listener ? 1 : 0);
        EXPECT_EQ(unseen.count(), c.unseen);
        ++product;
    }
}

TEST_F(PurchaseTest, ResultsOfOtherOrdersAreIgnored)
{
    auto form = formWithOrder(2);
    QSignalSpy paid(form.get(), &WechatAliPayForm::sig_paySuccess);
    emit OrderMgr::instance()->sig_pay(OrderMgr::orderKey(10001, 1, 1), 1, true);
    emit OrderMgr::instance()->sig_pay(OrderMgr::orderKey(10001, 2, 2), 2, false);
    emit OrderMgr::instance()->sig_pay(OrderMgr::orderKey(10002, 2, 1), 2, true);
    EXPECT_EQ(paid.count(), 0);
    EXPECT_EQ(stack(form.get(), "stackedWidget_wc")->currentWidget()->objectName(), "page_payqrcode_wc")
        << "another order's expiry leaves the shown code";
}

TEST_F(PurchaseTest, AnotherAccountGetsItsOwnOrders)
{
    auto form = formWithOrder(2);
    EXPECT_EQ(form->shownKey(1), "10001-2-1");
    signIn("member", "member1234");
    form->slot_createOrder(2);
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->shownKey(1) == "10002-2-1"; }, 20000));
    EXPECT_EQ(requestCount(kCreate), 2);
    EXPECT_EQ(OrderMgr::instance()->find("10002-2-1")->userId, 10002);
}

TEST_F(PurchaseTest, OrderBelongsToTheAccountThatAskedForIt)
{
    devservice::ScriptedReply slow = devservice::ScriptedReply::success(
        Json::Value(R"({"order_id": 9001, "qr_code": "http://127.0.0.1/pay?order_id=9001"})"));
    slow.delayMs = 400;
    service->script(kCreate, slow);
    const QString key = OrderMgr::instance()->createOrder(2, 1, 0, "x");
    signIn("member", "member1234"); // while the order is on its way
    ASSERT_TRUE(QTest::qWaitFor([&] { return OrderMgr::instance()->find(key) != nullptr; }, 20000));
    EXPECT_EQ(key, "10001-2-1");
    EXPECT_EQ(OrderMgr::instance()->find(key)->userId, 10001);
}

TEST_F(PurchaseTest, PaymentByTheOtherWayIsSeen)
{
    auto form = formWithOrder(1);
    const QString wechatQr = qrOf(form->shownKey(1));
    QTest::mouseClick(form->findChild<QToolButton*>("toolButton_alipay"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->shownKey(2).isEmpty(); }, 20000));
    QSignalSpy paid(form.get(), &WechatAliPayForm::sig_paySuccess);
    openPayPage(wechatQr);
    ASSERT_TRUE(paid.wait(20000));
    EXPECT_EQ(paid.count(), 1);
}

TEST_F(PurchaseTest, PaintedCodeLeadsToTheSuccessDialog)
{
    MemviaObj module;
    VipPayDialog* dialog = module.showPayDialog(nullptr);
    dialog->show();
    WechatAliPayForm* form = dialog->personalPage()->payForm();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->shownKey(1).isEmpty(); }, 20000));
    const QString qr = qrOf(form->shownKey(1));
    const QPixmap painted = form->findChild<QLabel*>("label_payqrcode_wc")->pixmap(Qt::ReturnByValue);
    EXPECT_EQ(painted.size(), QSize(87, 87));
    EXPECT_EQ(QString::fromStdString(readQrCode(painted.toImage())), qr);

    const QString expected = QDate::currentDate().addDays(730).toString("yyyy-MM-dd");
    QString shown;
    size_t statesBeforeLoop = 0;
    ModalWatcher watcher([&](QDialog* success) {
        shown = success->findChild<QLabel*>("label_endtime")->text();
        statesBeforeLoop = vipStates.size();
        QTest::mouseClick(success->findChild<QPushButton*>("pushButton_back"), Qt::LeftButton);
    });
    openPayPage(qr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return watcher.seen; }, 20000));
    EXPECT_EQ(shown, expected);
    EXPECT_EQ(statesBeforeLoop, 1u) << "\"vipstate_sig\" comes before the dialog's modal loop";
    EXPECT_EQ(parseJsonText(vipStates.at(0))["end_time"].asString(), expected.toStdString());
    EXPECT_EQ(vipStates.size(), 1u);
    dialog->close();
}

TEST_F(PurchaseTest, PaymentAfterTheDialogClosedStillReachesTheModule)
{
    MemviaObj module;
    QPointer<VipPayDialog> dialog = module.showPayDialog(nullptr);
    dialog->show();
    WechatAliPayForm* form = dialog->personalPage()->payForm();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->shownKey(1).isEmpty(); }, 20000));
    const QString qr = qrOf(form->shownKey(1));
    dialog->close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.isNull(); }, 5000));
    EXPECT_EQ(module.payDialog(), nullptr);

    QString shown;
    ModalWatcher watcher(
        [&](QDialog* success) { shown = success->findChild<QLabel*>("label_endtime")->text(); });
    openPayPage(qr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return watcher.seen; }, 20000));
    EXPECT_EQ(shown, QDate::currentDate().addDays(730).toString("yyyy-MM-dd"));
    ASSERT_EQ(vipStates.size(), 1u);
    EXPECT_EQ(parseJsonText(vipStates[0])["vip_level"].asInt(), 2);
}

TEST_F(PurchaseTest, SuccessDialogForLifetimeAndWhenTheStateDoesNotCome)
{
    signIn("lifetime", "lifetime1234");
    {
        VipPaySuccessDialog dialog;
        QSignalSpy state(&dialog, &VipPaySuccessDialog::sig_vipState);
        QString shown;
        ModalWatcher watcher([&](QDialog* d) {
            shown = d->findChild<QLabel*>("label_endtime")->text();
            QTest::mouseClick(d->findChild<QPushButton*>("pushButton_close"), Qt::LeftButton);
        });
        dialog.slot_show();
        ASSERT_TRUE(QTest::qWaitFor([&] { return watcher.seen; }, 20000));
        EXPECT_EQ(shown, "终身会员");
        EXPECT_EQ(state.count(), 1);
        EXPECT_FALSE(dialog.isVisible());
    }

    signIn("member", "member1234");
    service->script(kState, devservice::ScriptedReply::failure(500, "busy"));
    devservice::ScriptedReply later = devservice::ScriptedReply::success(
        Json::Value(R"([{"product_type": 23000, "product_level": 2, "end_time": "2031-05-06 00:00:00"}])"));
    later.delayMs = 800; // the dialog is open before the second answer comes
    service->script(kState, later);
    VipPaySuccessDialog dialog;
    QSignalSpy state(&dialog, &VipPaySuccessDialog::sig_vipState);
    QString first;
    QString afterRetry;
    ModalWatcher watcher([&](QDialog* d) {
        first = d->findChild<QLabel*>("label_endtime")->text();
        EXPECT_TRUE(QTest::qWaitFor([&] { return state.count() == 1; }, 20000));
        afterRetry = d->findChild<QLabel*>("label_endtime")->text();
        EXPECT_EQ(d->findChild<QLabel*>("label_vipokay")->text(), "开通成功");
    });
    dialog.slot_show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return watcher.seen; }, 20000));
    EXPECT_EQ(first, "—");
    EXPECT_EQ(state.count(), 1) << "the retried refresh is announced";
    EXPECT_EQ(requestCount(kState), 3);
    EXPECT_EQ(afterRetry, "2031-05-06");
}

// A successful reply without a list of states is no state: the member stays a member and nothing is announced.
TEST_F(PurchaseTest, SuccessDialogKeepsTheStateOnAReplyWithoutStates)
{
    signIn("member", "member1234");
    const int level = VipData::instance()->productLevel();
    ASSERT_GT(level, 1);
    service->script(kState, devservice::ScriptedReply::success());
    service->script(kState, devservice::ScriptedReply::success(Json::Value("{}")));
    VipPaySuccessDialog dialog;
    QSignalSpy state(&dialog, &VipPaySuccessDialog::sig_vipState);
    QString shown;
    ModalWatcher watcher([&](QDialog* d) {
        (void)QTest::qWaitFor([&] { return requestCount(kState) == 2; }, 20000);
        QTest::qWait(300);
        shown = d->findChild<QLabel*>("label_endtime")->text();
    });
    dialog.slot_show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return watcher.seen; }, 20000));
    EXPECT_EQ(shown, "—");
    EXPECT_EQ(state.count(), 0);
    EXPECT_EQ(VipData::instance()->productLevel(), level);
}

TEST_F(PurchaseTest, ANewProductListLeavesTheChosenProductIntact)
{
    auto form = formWithOrder(3);
    ProductData::instance()->parsePersonal(parseJsonText(productList({ { 50, 30 } })));
    ProductData::instance()->parsePersonal(parseJsonText(productList({})));
    ASSERT_TRUE(form->currentProduct().has_value());
    EXPECT_EQ(form->currentProduct()->name, QString::fromUtf8("年度会员"));
    QTest::mouseClick(form->findChild<QToolButton*>("toolButton_alipay"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->shownKey(2).isEmpty(); }, 20000));
    const auto creates = requestsTo(kCreate);
    ASSERT_EQ(creates.size(), 2u);
    EXPECT_EQ(creates[1].members["product_id"].asInt(), 3);
    EXPECT_EQ(creates[1].members["describle"].asString(), creates[0].members["describle"].asString());
}
