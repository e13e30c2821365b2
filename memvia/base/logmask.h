#pragma once

// The plug-in's mask of secrets in log lines (the same as the program's, each binary with its own copy).
#include <logmask/logmask.h>
