#include "ui/part/memberrecord.h"

#include <algorithm>

MemberListDiff diffMemberList(const QVector<MemberRecord>& shown, const QVector<MemberRecord>& incoming)
{
    MemberListDiff diff;
    diff.gone = shown;
    for (const MemberRecord& record : incoming) {
        const auto match = std::find_if(diff.gone.begin(), diff.gone.end(),
            [&](const MemberRecord& kept) { return kept.peerId == record.peerId; });
        if (match != diff.gone.end())
            diff.gone.erase(match);
        else
            diff.added.append(record);
    }
    return diff;
}
