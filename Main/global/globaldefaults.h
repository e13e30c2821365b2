#pragma once

// Writes the process-wide defaults at start-up: the configuration keys "record.enable" (true unless set)
// and "record.dir" (the home folder unless set; a set value is kept) and the run-time data keys
// "chat_aes_key" and "chat_aes_vesion". Needs CD; does nothing without it. GUI thread, before the request
// worker starts.
void initGlobalDefaults();
