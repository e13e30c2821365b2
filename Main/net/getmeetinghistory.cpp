#include "net/getmeetinghistory.h"

#include "net/requestprofile.h"
#include "net/requeststore.h"
#include "net/servicepaths.h"

#include <QDebug>

bool GetMeetingHistory::exec(std::string& data, int meetingId, int page, int pageSize,
    const std::string& startTime, const std::string& endTime)
{
    Json::Value body(Json::objectValue);
    body["meeting_id"] = meetingId;
    body["page"] = page;
    body["page_size"] = pageSize;
    body["start_time"] = startTime;
    body["end_time"] = endTime;
    qDebug().noquote() << QString::fromStdString(body.toStyledString());
    return postSigned(*this, servicepaths::kClassHistory, body, data, RequestProfile::meetingApi(),
        requeststore::dataText(netkeys::kMeetingToken));
}
