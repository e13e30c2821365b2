#pragma once

// The program's mask of secrets in log lines (the same as the plug-in's, each binary with its own copy).
#include <logmask/logmask.h>
