#include "ui/part/meetingmemberform.h"

#include "ui_meetingmemberform.h"

#include "global/customevents.h"
#include "global/datakeys.h"
#include "global/eventdeliverer.h"
#include "global/meetingkeys.h"
#include "global/meetingtimings.h"
#include "global/settings.h"
#include "ui/part/meetingchatroomform.h"
#include "ui/part/meetingmemberitemform.h"
#include "ui/part/memberinteractform.h"
#include "ui/part/tilepaging.h"
#include "win/qssmanager.h"

#include <bridge/dataauth.h>
#include <bridge/bg_log.h>
#include <bridge/bridge_init.h>
#include <bridge/interface.h>

#include <QButtonGroup>
#include <QGridLayout>
#include <QListWidget>
#include <QTimer>

#include <algorithm>

namespace {

constexpr char kStyleSheet[] = ":/qss/part/meetingmemberform.css";
constexpr char kSelfName[] = "我";
constexpr char kPhone[] = "Phone";

constexpr int kEvents[] = {
    UserEventType::CloseMeeting,
    UserEventType::V3ReadyToCreateMeeting,
    UserEventType::V3ReadyToAddMeeting,
    UserEventType::V3WindowsStateChange,
    UserEventType::ReciveChatMsg,
};

bg::Value dataValue(const char* key, const bg::Value& fallback)
{
    return CD && CD->data ? CD->data->get_data(key, fallback) : fallback;
}

MeetingMemberItemForm* rowOf(QListWidget* list, int index)
{
    return qobject_cast<MeetingMemberItemForm*>(list->itemWidget(list->item(index)));
}

} // namespace

MeetingMemberForm::MeetingMemberForm(QWidget* parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::MeetingMemberForm>())
{
    ui->setupUi(this);
    (new QssManager(this, false))->loadStyleSheet(QString::fromLatin1(kStyleSheet));
    initForm();
    for (int type : kEvents)
        EventDeliverer::instance()->registerReceiver(type, this);

    connect(ui->widget_chat, &MeetingChatRoomForm::SignalForbiddenAll, this, &MeetingMemberForm::SignalForbiddenAll);
    connect(ui->widget_chat, &MeetingChatRoomForm::sig_hideChatroomDialog, this,
        &MeetingMemberForm::sig_hideChatroomDialog);
    for (MemberInteractForm* tile : m_allTiles)
        connect(tile, &MemberInteractForm::ContextMenuRequested, this, &MeetingMemberForm::MemberContextMenuRequested);

    ui->pushButton_showNext->hide();
    auto* pages = new QButtonGroup(this);
    pages->setExclusive(true);
    pages->addButton(ui->pushButton_pagebtn_memberlist);
    pages->addButton(ui->pushButton_pagebtn_chatroom);
    ui->pushButton_pagebtn_memberlist->setCheckable(true);
    ui->pushButton_pagebtn_chatroom->setCheckable(true);
    ui->pushButton_pagebtn_memberlist->setChecked(true);
    ui->stackedWidget->setCurrentWidget(ui->page_member_list);
    ui->listWidget_viewer->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

MeetingMemberForm::~MeetingMemberForm()
{
    for (int type : kEvents)
        EventDeliverer::instance()->unregisterReceiver(type, this);
}

void MeetingMemberForm::initForm()
{
    const double scale = QssManager::dpiScale();
    ui->pushButton_dropdown->setCheckable(true);
    ui->widget_interactMain->setFixedHeight(int(100 * scale));
    ui->widget_non_interact->setFixedHeight(int(100 * scale));
    m_allTiles = { ui->widget_member_1, ui->widget_member_2, ui->widget_member_3, ui->widget_member_4,
        ui->widget_member_5, ui->widget_member_6, ui->widget_member_7, ui->widget_member_8 };
    m_shownTiles.clear();
    m_freeTiles = m_allTiles;
    for (MemberInteractForm* tile : m_allTiles) {
        tile->setFixedSize(int(90 * scale), int(90 * scale));
        tile->hide();
    }
    // The arrows stay hidden: "换一批" is the strip's one paging control.
    ui->pushButton_show_pre->hide();
    ui->pushButton_show_next->hide();
    ui->frame_pre->setFixedWidth(15);
    ui->frame_next->setFixedWidth(15);
    relayoutTiles();
    updateListVisibility();
}

// ---- tiles ----

void MeetingMemberForm::relayoutTiles()
{
    const int n = int(m_shownTiles.size());
    if (CD && CD->data)
        CD->data->set_data(kDataChatMicroNum, bg::Value(n));
    BG_LOGD("[当前正在连麦成员数量]:%d", n);
    if (n == 0) {
        ui->widget_interactMain->hide();
        ui->widget_non_interact->show();
        ui->pushButton_showNext->hide();
        return;
    }
    ui->widget_non_interact->hide();
    for (MemberInteractForm* tile : m_allTiles)
        tile->hide();
    for (int i = 0; i < n; ++i) {
        if (!tilepaging::isOnPage(i, m_tilePage))
            continue;
        m_shownTiles[i]->refresh();
        m_shownTiles[i]->show();
    }
    ui->widget_showmember->update();
    ui->widget_interactMain->show();
    ui->pushButton_showNext->setVisible(n > tilepaging::kTilesPerPage);
    if (n > tilepaging::kTilesPerPage)
        ui->pushButton_showNext->setText(tilepaging::pagerText(m_tilePage, n));
}

void MeetingMemberForm::setTilePage(int page)
{
    m_tilePage = page;
    relayoutTiles();
}

void MeetingMemberForm::clampTilePage() { m_tilePage = tilepaging::clampPage(m_tilePage, int(m_shownTiles.size())); }

void MeetingMemberForm::on_pushButton_showNext_clicked()
{
    setTilePage(tilepaging::nextPageWrapped(m_tilePage, int(m_shownTiles.size())));
}

void MeetingMemberForm::on_pushButton_show_next_clicked()
{
    setTilePage(tilepaging::nextPage(m_tilePage, int(m_shownTiles.size())));
}

void MeetingMemberForm::on_pushButton_show_pre_clicked()
{
    setTilePage(tilepaging::previousPage(m_tilePage, int(m_shownTiles.size())));
}

void MeetingMemberForm::resetTilesForHost()
{
    m_shownTiles.clear();
    m_freeTiles = m_allTiles;
    for (MemberInteractForm* tile : m_allTiles)
        tile->hide();
    m_tilePage = 0;
}

void MeetingMemberForm::resetTilesForViewer()
{
    resetTilesForHost();
    // The first tile is the local viewer's own.
    m_freeTiles.erase(m_freeTiles.begin());
}

MemberInteractForm* MeetingMemberForm::shownTileOf(qint64 userId) const
{
    const auto found = std::find_if(m_shownTiles.begin(), m_shownTiles.end(),
        [userId](MemberInteractForm* tile) { return tile->userId() == userId; });
    return found == m_shownTiles.end() ? nullptr : *found;
}

void MeetingMemberForm::addSelfTile(const QString& sourceId)
{
    MemberInteractForm* self = ui->widget_member_1;
    if (std::find(m_shownTiles.begin(), m_shownTiles.end(), self) == m_shownTiles.end()) {
        m_shownTiles.insert(m_shownTiles.begin(), self);
        // A tile is never shown and free at once.
        m_freeTiles.erase(std::remove(m_freeTiles.begin(), m_freeTiles.end(), self), m_freeTiles.end());
    }
    self->setMemberName(QString::fromUtf8(kSelfName));
    self->setUserId(dataInteger(dataValue(kDataMeetingSelfUserId, bg::Value(0LL))));
    if (sourceId.isEmpty())
        self->setStatusIcon(true, 1);
    else
        self->initSource(sourceId.toUtf8().constData());
    relayoutTiles();
}

MemberInteractForm* MeetingMemberForm::takeFreeTile(qint64 userId, const QString& name)
{
    if (m_freeTiles.empty()) {
        BG_LOGW("no free co-broadcast tile for member %lld; not shown", static_cast<long long>(userId));
        return nullptr;
    }
    MemberInteractForm* tile = m_freeTiles.front();
    m_freeTiles.erase(m_freeTiles.begin());
    tile->setUserId(userId);
    tile->setMemberName(name);
    m_shownTiles.push_back(tile);
    return tile;
}

void MeetingMemberForm::addMemberTile(qint64 userId, const QString& name)
{
    if (!shownTileOf(userId)) {
        MemberInteractForm* tile = takeFreeTile(userId, name);
        if (!tile)
            return;
        tile->setSourceBound(false);
    }
    relayoutTiles();
}

void MeetingMemberForm::addInvitingTile(qint64 userId, const QString& name)
{
    if (!shownTileOf(userId)) {
        MemberInteractForm* tile = takeFreeTile(userId, name);
        if (!tile)
            return;
        tile->setStatusIcon(true, 1);
    }
    relayoutTiles();
}

void MeetingMemberForm::releaseTile(MemberInteractForm* tile, bool toFreeTiles)
{
    tile->hide();
    m_shownTiles.erase(std::remove(m_shownTiles.begin(), m_shownTiles.end(), tile), m_shownTiles.end());
    if (toFreeTiles)
        m_freeTiles.push_back(tile);
    clampTilePage();
    relayoutTiles();
}

void MeetingMemberForm::removeMemberTile(qint64 userId)
{
    MemberInteractForm* tile = shownTileOf(userId);
    if (!tile)
        return;
    tile->finalizePreview();
    tile->setStatusIcon(false, 0);
    tile->setUserId(0);
    releaseTile(tile, true);
}

void MeetingMemberForm::dropMemberTile(qint64 userId)
{
    if (MemberInteractForm* tile = shownTileOf(userId))
        releaseTile(tile, true);
}

void MeetingMemberForm::removeSelfTile()
{
    BG_LOGD("[删除自身的item]");
    MemberInteractForm* self = ui->widget_member_1;
    if (std::find(m_shownTiles.begin(), m_shownTiles.end(), self) == m_shownTiles.end())
        return;
    BG_LOGD("[删除自身的item成功]");
    self->finalizePreview();
    releaseTile(self, false);
}

void MeetingMemberForm::initializeTileSource(qint64 userId, const char* sourceId)
{
    for (MemberInteractForm* tile : m_allTiles) {
        if (tile->userId() == userId)
            tile->initSource(sourceId);
    }
}

void MeetingMemberForm::finalizeTileSource(qint64 userId)
{
    for (MemberInteractForm* tile : m_allTiles) {
        if (tile->userId() == userId)
            tile->finalizePreview();
    }
}

void MeetingMemberForm::updateMemberTile(qint64 userId, bool present, int kind)
{
    for (MemberInteractForm* tile : m_allTiles) {
        if (tile->userId() == userId)
            tile->setStatusIcon(present, kind);
    }
}

void MeetingMemberForm::clearAll()
{
    for (MemberInteractForm* tile : m_allTiles) {
        tile->finalizePreview();
        tile->hide();
        tile->setUserId(-1);
        tile->setMemberName(QString());
        tile->setStatusIcon(false, 0);
    }
    // Rows leave no handler behind that could still reach their deleted items.
    for (int i = 0; i < ui->listWidget_viewer->count(); ++i) {
        if (MeetingMemberItemForm* row = rowOf(ui->listWidget_viewer, i))
            disconnect(row, nullptr, this, nullptr);
    }
    ui->listWidget_viewer->clear();
    m_records.clear();
    m_shownTiles.clear();
    m_tilePage = 0;
    const QString count = QString::fromUtf8("成员列表 (%1)").arg(0);
    ui->pushButton_pagebtn_memberlist->setText(count);
    ui->label_viewer->setText(count);
    updateListVisibility();
}

// ---- member list ----

void MeetingMemberForm::syncMemberList(const QVector<MemberRecord>& members)
{
    const MemberListDiff diff = diffMemberList(m_records, members);
    m_records = members;
    QListWidget* list = ui->listWidget_viewer;
    for (const MemberRecord& gone : diff.gone) {
        for (int i = 0; i < list->count(); ++i) {
            MeetingMemberItemForm* row = rowOf(list, i);
            if (!row || !row->isMember(gone.userId))
                continue;
            disconnect(row, nullptr, this, nullptr);
            QListWidgetItem* item = list->item(i);
            list->setItemWidget(item, nullptr);
            row->deleteLater();
            delete item;
            break;
        }
    }

    const double scale = QssManager::dpiScale();
    const int low = int(35 * scale);
    const int high = int(80 * scale);
    for (const MemberRecord& record : diff.added) {
        auto* item = new QListWidgetItem();
        item->setSizeHint(QSize(list->width() - 10, low));
        if (record.host)
            list->insertItem(0, item);
        else
            list->addItem(item);
        auto* row = new MeetingMemberItemForm();
        connect(row, &MeetingMemberItemForm::sig_refreshViewerListShow, this, [list, item, row, low, high] {
            item->setSizeHint(QSize(0, row->isScreenRequestPending() ? high : low));
            list->doItemsLayout();
            list->update();
        });
        row->setMemberData(record);
        row->setKind(0);
        row->setFixedWidth(list->width());
        row->setDeviceIcon(record.deviceType == QLatin1String(kPhone) ? 1 : 0);
        list->setItemWidget(item, row);
    }

    const QString count = QString::fromUtf8("成员列表 (%1)").arg(list->count());
    ui->pushButton_pagebtn_memberlist->setText(count);
    ui->label_viewer->setText(count);
    updateListVisibility();
}

void MeetingMemberForm::updateListVisibility()
{
    const bool empty = ui->listWidget_viewer->count() == 0;
    ui->listWidget_viewer->setVisible(!empty);
    ui->widget_listViewer_empty->setVisible(empty);
}

void MeetingMemberForm::setForbiddenAllChecked(bool checked) { ui->widget_chat->setSilenceAllChecked(checked); }

void MeetingMemberForm::setMeetingTitle(const QString& title, bool host)
{
    // The title is the host's text, relayed by the service: shown as text, never as markup.
    ui->label_meetingTitle->setText(QString::fromUtf8("<p><b>直播主题</b>：%1</p>").arg(title.toHtmlEscaped()));
    ui->widget_viewer_title->hide();
    ui->listWidget_viewer->show();
    ui->widget_chat->setSilenceAllVisible(host);
    relayoutTiles();
}

// ---- pages ----

void MeetingMemberForm::on_pushButton_pagebtn_memberlist_clicked()
{
    ui->stackedWidget->setCurrentWidget(m_memberListDetached ? ui->page_empty : ui->page_member_list);
}

void MeetingMemberForm::on_pushButton_pagebtn_chatroom_clicked()
{
    ui->stackedWidget->setCurrentWidget(m_chatRoomDetached ? ui->page_empty : ui->page_chatroom);
}

void MeetingMemberForm::on_pushButton_dropdown_clicked() { emit sig_hideMemberListDialog(); }

void MeetingMemberForm::showCheckedPageLater()
{
    // The page of the checked button is shown, so popping out one page never covers the other.
    QTimer::singleShot(meetingTimings().pageSwitchMs, this, [this] {
        if (ui->pushButton_pagebtn_chatroom->isChecked())
            on_pushButton_pagebtn_chatroom_clicked();
        else
            on_pushButton_pagebtn_memberlist_clicked();
    });
}

QList<QWidget*> MeetingMemberForm::setChatRoomDetached()
{
    m_chatRoomDetached = true;
    showCheckedPageLater();
    return ui->widget_chat->titleButtons();
}

int MeetingMemberForm::chatRoomTitleBarHeight() const { return ui->widget_chat->titleBarHeight(); }

MeetingChatRoomForm* MeetingMemberForm::chatRoomForm() const { return ui->widget_chat; }

void MeetingMemberForm::setChatRoomEmbedded(bool embedded) { ui->widget_chat->setTitleBarVisible(!embedded); }

QWidget* MeetingMemberForm::setMemberListDetached()
{
    m_memberListDetached = true;
    showCheckedPageLater();
    return ui->widget_memberlist;
}

QList<QWidget*> MeetingMemberForm::memberListTitleButtons() const { return { ui->pushButton_dropdown }; }

int MeetingMemberForm::memberListTitleBarHeight() const { return ui->widget_viewer_title->height(); }

void MeetingMemberForm::setMemberListEmbedded(bool embedded) { ui->widget_viewer_title->setVisible(!embedded); }

void MeetingMemberForm::clearChatRoomDetached() { m_chatRoomDetached = false; }

void MeetingMemberForm::clearMemberListDetached() { m_memberListDetached = false; }

namespace {

void putBack(QWidget* page, QWidget* content)
{
    auto* layout = qobject_cast<QGridLayout*>(page->layout());
    if (!layout)
        layout = new QGridLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(content, 0, 0);
}

} // namespace

void MeetingMemberForm::reattachPages()
{
    if (!m_memberListDetached) {
        putBack(ui->page_member_list, ui->widget_memberlist);
        ui->widget_viewer_title->hide();
    }
    if (!m_chatRoomDetached) {
        putBack(ui->page_chatroom, ui->widget_chat);
        ui->widget_chat->setTitleBarVisible(false);
    }
    if (ui->pushButton_pagebtn_chatroom->isChecked())
        on_pushButton_pagebtn_chatroom_clicked();
    else
        on_pushButton_pagebtn_memberlist_clicked();
}

// ---- events ----

bool MeetingMemberForm::event(QEvent* event)
{
    switch (int(event->type())) {
    case UserEventType::CloseMeeting:
        clearAll();
        return true;
    case UserEventType::V3ReadyToCreateMeeting:
        setMeetingTitle(static_cast<V3ReadyToCreateMeetingEvent*>(event)->title, true);
        return true;
    case UserEventType::V3ReadyToAddMeeting:
        setMeetingTitle(static_cast<V3ReadyToAddMeetingEvent*>(event)->title, false);
        return true;
    case UserEventType::V3WindowsStateChange:
        for (int i = 0; i < int(m_shownTiles.size()); ++i) {
            if (tilepaging::isOnPage(i, m_tilePage))
                m_shownTiles[i]->refresh();
        }
        return true;
    case UserEventType::ReciveChatMsg:
        if (!ui->pushButton_pagebtn_chatroom->isChecked())
            ui->pushButton_pagebtn_chatroom->setText(QString::fromUtf8("点赞互动"));
        return true;
    default:
        return QWidget::event(event);
    }
}
