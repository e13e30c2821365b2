#pragma once

// Sends framekit's log records (levels 10 error, 20 warning, 30 information, 40 debug) into the program's
// log from now on. Safe to call from any thread; records logged while the framework is down are dropped.
void routeFramekitLogToProgramLog();
