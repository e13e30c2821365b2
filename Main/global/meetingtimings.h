#pragma once

// Every delay of the meeting forms, in milliseconds, with its production value. Tests shorten them through
// meetingTimings() before they build the forms; the forms read the table each time they start a timer.
// GUI thread only.
struct MeetingTimings {
    int rowTipHideMs = 2000; // a member row's co-broadcast success text stays this long
    int tileResizeStepMs = 100; // each of the two steps that make a tile's source widget lay out again
    int pageSwitchMs = 50; // the side panel shows its empty page this long after a page was popped out
    int fullScreenBarHideMs = 3000; // the full-screen tool bar hides this long after the last mouse movement
    int streamReadyMs = 3000; // a viewer's exit button becomes usable this long after its stream is ready
    int hostAudioPullMs = 5000; // a viewer pulls the host's separate audio this long after it was announced
    int delayedCommandMs = 3000; // a delayed chat-room command waits this long
};

MeetingTimings& meetingTimings();
