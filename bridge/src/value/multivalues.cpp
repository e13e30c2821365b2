#include <bridge/multivalues.h>

bg::MultiValues::~MultiValues() = default;
