#include "diskquarry/safe_name.h"

#include <cstring>

namespace {

// Bytes no host name may hold: separators, the drive colon, what Windows
// forbids, control bytes.
bool unsafe_byte(unsigned char b) { return b < 0x20 || b == 0x7F || std::strchr("/\\:*?\"<>|", b) != nullptr; }

std::string upper_ascii(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 0x20);
  }
  return text;
}

// The part before the first dot names the device on Windows, with any
// extension: "CON", "con.txt", "COM1.DAT".
bool reserved_on_windows(const std::string& name) {
  std::string base = upper_ascii(name.substr(0, name.find('.')));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  static const char* const DEVICES[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  for (const char* device : DEVICES) {
    if (base == device) return true;
  }
  return base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) && base[3] >= '0' &&
         base[3] <= '9';
}

}  // namespace

std::string safe_host_name(const std::string& name, bool* changed) {
  std::string safe = name;
  for (char& c : safe) {
    if (unsafe_byte(static_cast<unsigned char>(c))) c = '_';
  }
  // A trailing dot or blank is dropped by Windows; "." and ".." are no names.
  for (std::size_t i = safe.size(); i > 0 && (safe[i - 1] == '.' || safe[i - 1] == ' '); --i) safe[i - 1] = '_';
  if (safe.empty()) safe.assign(1, '_');
  if (reserved_on_windows(safe)) safe.insert(safe.find('.') == std::string::npos ? safe.size() : safe.find('.'), 1, '_');
  *changed = safe != name;
  return safe;
}

std::string unique_host_name(HostFolderNames& folder, const std::string& name) {
  std::string candidate = name;
  std::size_t dot = name.rfind('.');
  if (dot == 0 || dot == std::string::npos) dot = name.size();
  for (unsigned n = 2; !folder.taken.insert(upper_ascii(candidate)).second; ++n) {
    candidate = name.substr(0, dot) + "~" + std::to_string(n) + name.substr(dot);
  }
  return candidate;
}
