#include "global/meetingtimings.h"

MeetingTimings& meetingTimings()
{
    static MeetingTimings timings;
    return timings;
}
