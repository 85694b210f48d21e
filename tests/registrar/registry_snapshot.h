// Reading and cleaning registry trees through the platform's own registry calls, so the same
// checks run against the host registry and, under Wine, the real one.
#pragma once

#include <string>

#include "support/platform.h"

namespace pellmora::testing {

// Every key below `root`\`path` and every value in them, one line each, sorted:
//   "Sub\Key" for a key, "Sub\Key: name = SZ:text" for a value ("@" names the default value).
// Values show as SZ:text, DWORD:n, BIN:hex or MULTI:hex; text without its terminator shows as
// SZ!text. The key itself appears as "."; an absent key gives "absent".
std::string Snapshot(HKEY root, const std::string& path);

// Deletes `root`\`path` with everything below it; true when it is gone afterwards.
bool DeleteTree(HKEY root, const std::string& path);

bool KeyExists(HKEY root, const std::string& path);

// Creates `root`\`path` (and the keys above it); true on success.
bool CreateKey(HKEY root, const std::string& path);

// The value `name` (null: default) of `root`\`path` as Snapshot shows it, or "absent".
std::string ValueText(HKEY root, const std::string& path, const char* name);

}  // namespace pellmora::testing
