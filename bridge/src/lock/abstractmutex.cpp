#include <bridge/abstractmutex.h>
#include <bridge/abstractreadwritemutex.h>

bg::AbstractMutex::~AbstractMutex() = default;
bg::AbstractReadWriteMutex::~AbstractReadWriteMutex() = default;
