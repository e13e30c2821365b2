#pragma once

#include "ui/part/memberrecord.h"

#include <QList>
#include <QVector>
#include <QWidget>

#include <memory>
#include <vector>

class MeetingChatRoomForm;
class MemberInteractForm;

namespace Ui {
class MeetingMemberForm;
}

// The meeting's side panel: the title, the co-broadcast strip of eight tiles shown three to a page, and a
// switcher between the member list (one row per chat-room member) and the chat room. Either page's content
// can be moved into a window of its own; the panel then shows a note in its place. The number of tiles in
// use is published as the data "chat_micro_num".
//
// Made once by the meeting form and kept for its life; it serves one meeting after another. Operations on
// a member or tile that is not there change nothing; an add with no free tile is logged and changes
// nothing. GUI thread only.
class MeetingMemberForm : public QWidget {
    Q_OBJECT
public:
    explicit MeetingMemberForm(QWidget* parent = nullptr);
    ~MeetingMemberForm() override;

    // Tiles.
    void resetTilesForHost();
    void resetTilesForViewer();
    void addSelfTile(const QString& sourceId);
    void removeSelfTile();
    void addMemberTile(qint64 userId, const QString& name);
    void addInvitingTile(qint64 userId, const QString& name);
    void dropMemberTile(qint64 userId);
    void removeMemberTile(qint64 userId);
    void initializeTileSource(qint64 userId, const char* sourceId);
    void finalizeTileSource(qint64 userId);
    void updateMemberTile(qint64 userId, bool present, int kind);
    // Empties tiles, rows and member records at the end of a meeting.
    virtual void clearAll();

    // Member list.
    void syncMemberList(const QVector<MemberRecord>& members);
    void setForbiddenAllChecked(bool checked);

    // Pop-out windows of the meeting form.
    QList<QWidget*> setChatRoomDetached();
    int chatRoomTitleBarHeight() const;
    MeetingChatRoomForm* chatRoomForm() const;
    void setChatRoomEmbedded(bool embedded);
    QWidget* setMemberListDetached();
    QList<QWidget*> memberListTitleButtons() const;
    int memberListTitleBarHeight() const;
    void setMemberListEmbedded(bool embedded);
    void clearChatRoomDetached();
    void clearMemberListDetached();
    void reattachPages();

    // For tests and the meeting form's diagnostics.
    int tilePage() const { return m_tilePage; }
    const std::vector<MemberInteractForm*>& shownTiles() const { return m_shownTiles; }
    const std::vector<MemberInteractForm*>& freeTiles() const { return m_freeTiles; }
    const QVector<MemberRecord>& memberRecords() const { return m_records; }

signals:
    void SignalForbiddenAll(bool forbidden);
    void MemberContextMenuRequested(qlonglong userId);
    void sig_hideChatroomDialog();
    void sig_hideMemberListDialog();

private slots:
    void on_pushButton_pagebtn_memberlist_clicked();
    void on_pushButton_pagebtn_chatroom_clicked();
    void on_pushButton_dropdown_clicked();
    void on_pushButton_show_pre_clicked();
    void on_pushButton_show_next_clicked();
    void on_pushButton_showNext_clicked();

protected:
    bool event(QEvent* event) override;

private:
    void initForm();
    void relayoutTiles();
    void setTilePage(int page);
    void clampTilePage();
    MemberInteractForm* shownTileOf(qint64 userId) const;
    MemberInteractForm* takeFreeTile(qint64 userId, const QString& name);
    void releaseTile(MemberInteractForm* tile, bool toFreeTiles);
    void updateListVisibility();
    void setMeetingTitle(const QString& title, bool host);
    void showCheckedPageLater();

    std::unique_ptr<Ui::MeetingMemberForm> ui;
    bool m_chatRoomDetached = false;
    bool m_memberListDetached = false;
    std::vector<MemberInteractForm*> m_allTiles;
    QVector<MemberRecord> m_records;
    int m_tilePage = 0;
    std::vector<MemberInteractForm*> m_shownTiles;
    std::vector<MemberInteractForm*> m_freeTiles;
};
