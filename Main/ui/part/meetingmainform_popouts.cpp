// The side panel's pages in windows of their own.
#include "ui/part/meetingmainform.h"

#include "ui_meetingmainform.h"

#include "ui/part/meetingchatroomform.h"
#include "ui/part/meetingmemberform.h"
#include "ui/part/singleshowdialog.h"

#include <QDebug>

void MeetingMainForm::showChatRoomDialog()
{
    MeetingMemberForm* panel = ui->widget_right;
    if (!m_chatRoomDialog) {
        const QList<QWidget*> buttons = panel->setChatRoomDetached();
        panel->setChatRoomEmbedded(false);
        m_chatRoomDialog = new SingleShowDialog(panel->chatRoomForm(), buttons, panel->chatRoomTitleBarHeight(),
            QStringLiteral(":/qss/part/meetingchatroomform.css"));
        connect(panel, &MeetingMemberForm::sig_hideChatroomDialog, this, &MeetingMainForm::closeChatRoomDialog,
            Qt::UniqueConnection);
    }
    m_chatRoomDialog->show();
    qDebug() << "聊天室显示";
}

void MeetingMainForm::showMemberListDialog()
{
    MeetingMemberForm* panel = ui->widget_right;
    if (!m_memberListDialog) {
        QWidget* content = panel->setMemberListDetached();
        panel->setMemberListEmbedded(false);
        m_memberListDialog = new SingleShowDialog(content, panel->memberListTitleButtons(),
            panel->memberListTitleBarHeight(), QStringLiteral(":/qss/part/meetingmemberform.css"));
        connect(panel, &MeetingMemberForm::sig_hideMemberListDialog, this, &MeetingMainForm::closeMemberListDialog,
            Qt::UniqueConnection);
    }
    m_memberListDialog->show();
    qDebug() << "成员列表显示";
}

// The page goes back into the panel before its window is deleted: the window must not take it along.
void MeetingMainForm::closeChatRoomDialog()
{
    if (!m_chatRoomDialog)
        return;
    QWidget* dialog = m_chatRoomDialog;
    m_chatRoomDialog = nullptr;
    dialog->close();
    ui->widget_right->clearChatRoomDetached();
    ui->widget_right->reattachPages();
    dialog->deleteLater();
}

void MeetingMainForm::closeMemberListDialog()
{
    if (!m_memberListDialog)
        return;
    QWidget* dialog = m_memberListDialog;
    m_memberListDialog = nullptr;
    dialog->close();
    ui->widget_right->clearMemberListDetached();
    ui->widget_right->reattachPages();
    dialog->deleteLater();
}
