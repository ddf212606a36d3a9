#include "diskmason/model/entry_tree.h"

#include <cstring>
#include <new>

#include "diskmason/model/attributes.h"
#include "textconv/transcoder.h"

namespace {

// The two names of one path component, its characters upper-cased, and
// the buffers that converting and looking up take (kept from one component
// to the next).
struct ComponentNames {
  std::string plain;
  std::string upper;
  std::vector<std::uint16_t> upperUnits;
  std::vector<std::uint8_t> folded;
  std::vector<std::uint8_t> wide;
  std::string key;
};

// The bytes of 16-bit units: one for a unit below 100h, two (high first) above.
void units_to_bytes(const std::uint8_t* wide, std::uint32_t wideBytes, std::string& out,
                    std::vector<std::uint16_t>* units) {
  out.resize(wideBytes);
  char* next = out.data();
  for (std::uint32_t i = 0; i < wideBytes; i += 2) {
    if (wide[i] != 0) *next++ = static_cast<char>(wide[i]);
    *next++ = static_cast<char>(wide[i + 1]);
  }
  out.resize(static_cast<std::size_t>(next - out.data()));
  if (units == nullptr) return;
  units->resize(wideBytes / 2);
  for (std::uint32_t i = 0; i < wideBytes; i += 2) (*units)[i / 2] = static_cast<std::uint16_t>(wide[i] << 8 | wide[i + 1]);
}

// Converts a component as written and with its ASCII letters upper-cased
// (once when it has no lower-case letter).
PlaceOutcome convert_component(const std::uint8_t* text, std::uint32_t n, ComponentNames& names) {
  // Conversion shortens at most 6 bytes to 1: a longer component never fits.
  if (n > 6 * MAX_NAME_LENGTH) return PlaceOutcome::NameTooLong;
  names.folded.assign(text, text + n);
  bool lower = false;
  for (std::uint8_t& b : names.folded) {
    if (b >= 'a' && b <= 'z') {
      b = static_cast<std::uint8_t>(b - 0x20);
      lower = true;
    }
  }
  names.wide.resize(2 * std::size_t{n} + 2);
  names.upperUnits.clear();
  std::uint32_t bytes = utf8_to_sjis16(text, n, names.wide.data(), sjis_table.codes, sjis_table.trie);
  units_to_bytes(names.wide.data(), bytes, names.plain, lower ? nullptr : &names.upperUnits);
  if (lower) {
    bytes = utf8_to_sjis16(names.folded.data(), n, names.wide.data(), sjis_table.codes, sjis_table.trie);
    units_to_bytes(names.wide.data(), bytes, names.upper, &names.upperUnits);
  } else {
    names.upper = names.plain;
  }
  // A zero byte (from the four-byte form of U+0000) would end the name early
  // in a directory entry.
  if (names.plain.find('\0') != std::string::npos) return PlaceOutcome::ZeroByte;
  if (names.plain.size() > MAX_NAME_LENGTH || names.upper.size() > MAX_NAME_LENGTH) return PlaceOutcome::NameTooLong;
  return PlaceOutcome::Placed;
}

// The key of a name in a folder: the folder's number, then the name.
void make_name_key(std::uint32_t folder, const std::string& name, std::string& key) {
  key.assign(sizeof folder, '\0');
  std::memcpy(key.data(), &folder, sizeof folder);
  key.append(name);
}

std::string name_key(std::uint32_t folder, const std::string& name) {
  std::string key;
  make_name_key(folder, name, key);
  return key;
}

std::uint32_t find_child(const EntryTree& tree, std::uint32_t folder, const std::string& name, std::string& key) {
  make_name_key(folder, name, key);
  auto found = tree.names.find(key);
  return found == tree.names.end() ? NO_ENTRY : found->second;
}

// A new entry in `folder`, named by `names` and the path up to `end`.
std::uint32_t make_entry(EntryTree& tree, std::uint32_t folder, bool isFolder, ComponentNames& names,
                         const std::uint8_t* path, std::uint32_t end, std::uint32_t line) {
  auto id = static_cast<std::uint32_t>(tree.entries.size());
  Entry& e = tree.entries.emplace_back();
  e.parent = folder;
  e.folder = isFolder;
  e.sortName = names.plain;
  e.name = names.upper;
  make_short_name(reinterpret_cast<const std::uint8_t*>(e.name.data()), e.name.size(), e.shortName);
  e.fit = fit_short_name(names.upperUnits.data(), static_cast<std::uint32_t>(names.upperUnits.size()));
  e.attributes = isFolder ? DIRECTORY_ATTRIBUTE : 0;
  e.dateTime = 0;
  e.startCluster = START_NOT_FIXED;
  e.fixed = false;
  e.size = 0;
  e.imagePath.assign(reinterpret_cast<const char*>(path), end);
  e.line = line;
  e.startColumn = 0;
  Entry& parent = tree.entries[folder];
  (isFolder ? parent.subfolders : parent.files).push_back(id);
  return id;
}

// The file of the path's last component, refused when either of its names
// is taken: by the same name, another letter case, or a folder.
PlaceResult add_file(EntryTree& tree, std::uint32_t folder, ComponentNames& names, const std::uint8_t* path,
                     std::uint32_t length, std::uint32_t line) {
  PlaceResult result{PlaceOutcome::Placed, NO_ENTRY, NO_ENTRY, NO_ENTRY, 0};
  std::uint32_t clash = find_child(tree, folder, names.plain, names.key);
  bool samePlain = clash != NO_ENTRY && tree.entries[clash].sortName == names.plain;
  if (clash == NO_ENTRY && names.upper != names.plain) clash = find_child(tree, folder, names.upper, names.key);
  if (clash != NO_ENTRY) {
    result.clash = clash;
    result.outcome = tree.entries[clash].folder ? PlaceOutcome::FileWhereFolder
                     : samePlain                ? PlaceOutcome::PlacedAlready
                                                : PlaceOutcome::CaseOnly;
    return result;
  }
  if (tree.entries[folder].files.size() >= FOLDER_KIND_LIMIT) {
    result.outcome = PlaceOutcome::FolderFull;
    return result;
  }
  result.file = make_entry(tree, folder, false, names, path, length, line);
  tree.names.emplace(name_key(folder, names.plain), result.file);
  if (names.upper != names.plain) tree.names.emplace(name_key(folder, names.upper), result.file);
  return result;
}

// A new folder, entered under its upper-cased name and, when that is free,
// its name as written (which then orders it among its siblings).
std::uint32_t add_folder(EntryTree& tree, std::uint32_t folder, ComponentNames& names, const std::uint8_t* path,
                         std::uint32_t end, std::uint32_t dateTime, std::uint32_t line) {
  if (tree.entries[folder].subfolders.size() >= FOLDER_KIND_LIMIT) return NO_ENTRY;
  std::uint32_t id = make_entry(tree, folder, true, names, path, end, line);
  tree.entries[id].dateTime = dateTime;
  tree.names.emplace(name_key(folder, names.upper), id);
  if (names.plain != names.upper && !tree.names.emplace(name_key(folder, names.plain), id).second) {
    tree.entries[id].sortName = names.upper;
  }
  return id;
}

bool has_empty_component(const std::uint8_t* path, std::uint32_t length) {
  if (length == 0 || path[0] == '/' || path[length - 1] == '/') return true;
  for (std::uint32_t i = 1; i < length; ++i) {
    if (path[i] == '/' && path[i - 1] == '/') return true;
  }
  return false;
}

PlaceResult place(EntryTree& tree, const std::uint8_t* path, std::uint32_t length, std::uint32_t dateTime,
                  std::uint32_t line) {
  PlaceResult result{PlaceOutcome::Placed, NO_ENTRY, NO_ENTRY, NO_ENTRY, 0};
  if (has_empty_component(path, length)) {
    result.outcome = PlaceOutcome::EmptyComponent;
    return result;
  }
  auto firstCreated = static_cast<std::uint32_t>(tree.entries.size());
  std::uint32_t folder = 0;
  // The buffers of the last path's components serve the next path too: a
  // list of a few hundred files would otherwise allocate them for each.
  static thread_local ComponentNames names;
  for (std::uint32_t start = 0;;) {
    std::uint32_t end = start;
    while (end < length && path[end] != '/') ++end;
    result.outcome = convert_component(path + start, end - start, names);
    if (result.outcome != PlaceOutcome::Placed) return result;
    if (end == length) {
      PlaceResult file = add_file(tree, folder, names, path, length, line);
      file.firstCreated = firstCreated;
      return file;
    }
    std::uint32_t child = find_child(tree, folder, names.upper, names.key);
    if (child != NO_ENTRY && !tree.entries[child].folder) {
      result.outcome = PlaceOutcome::FolderWhereFile;
      result.clash = child;
      result.folderEnd = end;
      return result;
    }
    if (child == NO_ENTRY) child = add_folder(tree, folder, names, path, end, dateTime, line);
    if (child == NO_ENTRY) {
      result.outcome = PlaceOutcome::FolderFull;
      return result;
    }
    folder = child;
    start = end + 1;
  }
}

}  // namespace

bool start_tree(EntryTree& tree) {
  try {
    tree.entries.clear();
    tree.names.clear();
    Entry& root = tree.entries.emplace_back();
    root.parent = NO_ENTRY;
    root.folder = true;
    std::memset(root.shortName, ' ', SHORT_NAME_SIZE);
    root.fit = ShortNameFit{};
    // The root's record is what ".." holds in its subfolders.
    root.attributes = DIRECTORY_ATTRIBUTE;
    root.dateTime = 0;
    root.startCluster = 0;
    root.fixed = true;
    root.size = 0;
    root.line = 0;
    root.startColumn = 0;
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

PlaceResult add_path(EntryTree& tree, const std::uint8_t* path, std::uint32_t length, std::uint32_t dateTime,
                     std::uint32_t line) {
  try {
    return place(tree, path, length, dateTime, line);
  } catch (const std::bad_alloc&) {
    return PlaceResult{PlaceOutcome::NoMemory, NO_ENTRY, NO_ENTRY, NO_ENTRY, 0};
  }
}
