// Carries a parsed registry script out against the registry.
#pragma once

#include <windows.h>

#include "server/regscript_parse.h"

namespace ks::regscript {

// Writes every block. When a write fails inside a block, what that block had
// written is removed again and the failure returned.
HRESULT Register(const Script& script) noexcept;

// Removes what the script names, leaving keys that still hold subkeys the
// script does not name, and keys marked NoRemove.
HRESULT Unregister(const Script& script) noexcept;

}  // namespace ks::regscript
