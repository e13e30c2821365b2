#include <bridge/abstract_base.h>

namespace bg {

Abstract_Base::~Abstract_Base() = default;

} // namespace bg
