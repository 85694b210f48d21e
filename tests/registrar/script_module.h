// The module file that carries the two registration scripts as "REGISTRY" resources 101 (AppID)
// and 102 (class): natively a module path the host layer serves them for, read from the source
// tree; under Wine the test program itself, which embeds them.
#pragma once

#include <string>

namespace pellmora::testing {

constexpr unsigned kAppIdScript = 101;
constexpr unsigned kClassScript = 102;

std::u16string ScriptModulePath();

}  // namespace pellmora::testing
