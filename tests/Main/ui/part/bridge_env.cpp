// The framework with its data store, up for every test of the program.
#include "Main/shell_env.h"

namespace {

const auto* const registered = testing::AddGlobalTestEnvironment(new BridgeEnvironment);

} // namespace
