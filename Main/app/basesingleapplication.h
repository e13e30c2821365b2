#pragma once

#include "app/singleapplication.h"

// The program's single-instance application: secondary starts allowed, keyed per user, 1000 ms time-out.
// Once the instance guard is up it loads the membership plug-in through the framework and starts it; a
// plug-in that does not load leaves the program running without it (the count is logged).
// GUI thread only.
class BaseSingleApplication : public SingleApplication {
    Q_OBJECT
public:
    BaseSingleApplication(int& argc, char** argv);
};
