#pragma once

// Points the chat-room client at the addresses the meeting forms store in the run-time data store
// ("chatHost", "chatHostWS"), read anew for every call of the client. Call once at start-up.
void installChatRoomEndpoints();
