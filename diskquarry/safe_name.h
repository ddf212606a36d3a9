// Host names for the entries of a disk. A stored name may hold what a host
// folder cannot take or must not be given: a path separator, a drive
// letter's colon, a control byte, "." or "..", a name Windows reserves
// (CON, NUL, COM1, ...) or a trailing dot or blank. Such a name becomes a
// safe one, the same on every host, and names that would clash in one host
// folder (letter case counts as the same) get a number.
#pragma once

#include <string>
#include <unordered_set>

// The safe form of a UTF-8 name; *changed tells whether it differs.
std::string safe_host_name(const std::string& name, bool* changed);

// The names given in one host folder so far, by their upper-cased form.
struct HostFolderNames {
  std::unordered_set<std::string> taken;
};

// `name` (already safe) or, when the folder has it, "NAME~2.EXT" with the
// least free number; records it as taken.
std::string unique_host_name(HostFolderNames& folder, const std::string& name);
