#pragma once

#include <QString>
#include <QVector>

// One chat-room member as the chat-room connection hands it to the member list and its rows.
struct MemberRecord {
    qint64 userId = 0; // the member's chat-room member id
    QString peerId; // the member's chat-room peer id; the list matches records by this field alone
    QString displayName;
    QString deviceType; // "Phone" for a phone client; anything else is a PC
    bool host = false; // the host's record: its row goes on top
};

// What changed between the records the list shows and a new full list: the shown records whose peer id
// the new list no longer has (each shown record is matched at most once) and the new list's records that
// matched none, both in their lists' order. A record whose other fields changed counts as unchanged.
struct MemberListDiff {
    QVector<MemberRecord> gone;
    QVector<MemberRecord> added;
};

MemberListDiff diffMemberList(const QVector<MemberRecord>& shown, const QVector<MemberRecord>& incoming);
