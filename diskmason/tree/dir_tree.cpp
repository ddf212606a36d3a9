#include "diskmason/tree/dir_tree.h"

#include <cstring>

#include "diskmason/tree/name_forms.h"
#include "textconv/heap.h"

namespace {

const std::uint8_t* as_bytes(const char* text) {
  return reinterpret_cast<const std::uint8_t*>(text);
}

// Table value of a child: its array slot, bit 0 set for a file.
std::uint16_t slot_value(std::uint32_t slot, bool file) {
  return static_cast<std::uint16_t>((slot << 1) | (file ? 1U : 0U));
}

std::uint32_t slot_of_value(std::uint32_t value) { return value >> 1; }

// Largest slot whose table value still fits 16 bits.
constexpr std::uint32_t MAX_CHILD_SLOT = 32767;

// Points every slot of both child arrays of dir at dir.
void repoint_children(DirNode* dir) {
  for (std::uint32_t i = 0; i < dir->fileCapacity && dir->files != nullptr; ++i) {
    dir->files[i].parent = dir;
  }
  for (std::uint32_t i = 0; i < dir->subdirCapacity && dir->subdirs != nullptr; ++i) {
    dir->subdirs[i].parent = dir;
  }
}

// Empties slots [from, to) of a child array of dir.
void clear_slots(FileNode* files, std::uint32_t from, std::uint32_t to, DirNode* dir) {
  for (std::uint32_t i = from; i < to; ++i) files[i] = FileNode{dir, NO_SLOT, NO_SLOT, 1};
}
void clear_slots(DirNode* subdirs, std::uint32_t from, std::uint32_t to, DirNode* dir) {
  for (std::uint32_t i = from; i < to; ++i) {
    std::memset(&subdirs[i], 0, sizeof(DirNode));
    subdirs[i].parent = dir;
    subdirs[i].entryNameId = NO_SLOT;
    subdirs[i].nameId = NO_SLOT;
  }
}

// Lowest slot that holds no node; NO_SLOT when every slot does.
template <typename Node>
std::uint32_t first_free_slot(const Node* slots, std::uint32_t capacity) {
  for (std::uint32_t i = 0; i < capacity; ++i) {
    if (!slot_in_use(slots[i])) return i;
  }
  return NO_SLOT;
}

void free_arrays(DirNode* dir) {
  if (dir->names != nullptr) {
    destroy(*dir->names);
    heap_free(dir->names);
  }
  heap_free(dir->subdirs);
  heap_free(dir->files);
  dir->names = nullptr;
  dir->subdirs = nullptr;
  dir->files = nullptr;
}

FileNode* find_child_bytes(const DirNode* dir, const std::uint8_t* name, std::uint32_t length) {
  if (is_file(dir) || dir->names == nullptr) return nullptr;
  std::uint32_t slot = find(*dir->names, name, length);
  if (slot == NO_SLOT) return nullptr;
  std::uint32_t value = dir->names->entries[slot].lengthAndValue >> 16;
  if ((value & 1) != 0) return &dir->files[slot_of_value(value)];
  return &dir->subdirs[slot_of_value(value)];
}

bool same_bytes(const std::uint8_t* a, std::uint32_t aLength, const std::uint8_t* b,
                std::uint32_t bLength) {
  return aLength == bLength && std::memcmp(a, b, aLength) == 0;
}

FileNode* add_file_bytes(DirNode* dir, const std::uint8_t* plain, std::uint32_t plainLength,
                         const std::uint8_t* upper, std::uint32_t upperLength, IndexPool& pool) {
  if (is_file(dir) || dir->names == nullptr) return nullptr;
  NameTable& names = *dir->names;
  std::uint32_t s1 = insert(names, plain, plainLength, 0);
  if (s1 == NO_SLOT) return nullptr;
  std::uint32_t slot = take_file_slot(dir);
  // A 65535-byte key cannot carry the value 0xFFFF (its record would read as free).
  bool valueFits = slot != MAX_CHILD_SLOT || (plainLength < 0xFFFF && upperLength < 0xFFFF);
  if (slot == NO_SLOT || !valueFits) {
    remove_slot(names, s1);
    return nullptr;
  }
  set_value(names, s1, slot_value(slot, true));
  std::uint32_t s2 = s1;
  if (!same_bytes(plain, plainLength, upper, upperLength)) {
    // The upper-cased form taken by another child would give two entries one
    // name on the disk: refused like any other duplicate.
    s2 = insert(names, upper, upperLength, slot_value(slot, true));
    if (s2 == NO_SLOT) {
      remove_slot(names, s1);
      return nullptr;
    }
  }
  std::uint32_t index = allocate(pool);
  if (index == NO_INDEX) {
    if (s2 != s1) remove_slot(names, s2);
    remove_slot(names, s1);
    return nullptr;
  }
  FileNode* node = &dir->files[slot];
  node->parent = dir;
  node->nameId = s1;
  node->entryNameId = s2;
  node->index = (index << 1) | 1;
  dir->fileCount += 1;
  return node;
}

DirNode* add_subdirectory_bytes(DirNode* dir, const std::uint8_t* plain, std::uint32_t plainLength,
                                const std::uint8_t* upper, std::uint32_t upperLength,
                                IndexPool& pool) {
  if (is_file(dir) || dir->names == nullptr) return nullptr;
  std::uint32_t s1 = insert(*dir->names, upper, upperLength, 0);
  if (s1 == NO_SLOT) return nullptr;
  std::uint32_t slot = take_subdir_slot(dir);
  bool valueFits = slot != MAX_CHILD_SLOT || upperLength < 0xFFFF;
  if (slot == NO_SLOT || !valueFits) {
    remove_slot(*dir->names, s1);
    return nullptr;
  }
  DirNode* sub = &dir->subdirs[slot];
  if (!init_directory(sub, DIR_SUBDIR_SLOTS, DIR_FILE_SLOTS, pool)) {
    sub->parent = dir;
    remove_slot(*dir->names, s1);
    return nullptr;
  }
  sub->parent = dir;
  set_value(*dir->names, s1, slot_value(slot, false));
  std::uint32_t s2 = NO_SLOT;
  if (!same_bytes(plain, plainLength, upper, upperLength)) {
    s2 = insert(*dir->names, plain, plainLength, slot_value(slot, false));
  }
  sub->entryNameId = s1;
  sub->nameId = s2 != NO_SLOT ? s2 : s1;
  dir->subdirCount += 1;
  return sub;
}

std::uint32_t name_length(const FileNode* node, std::uint32_t slot) {
  std::uint32_t length = 0;
  key_at(*node->parent->names, slot, &length);
  return length;
}

}  // namespace

bool init_directory(DirNode* dir, std::uint32_t subdirSlots, std::uint32_t fileSlots,
                    IndexPool& pool) {
  std::uint32_t slotSum = subdirSlots + fileSlots;
  dir->names = static_cast<NameTable*>(heap_alloc(sizeof(NameTable)));
  dir->subdirs = nullptr;
  dir->files = nullptr;
  bool ok = dir->names != nullptr;
  if (ok) {
    std::memset(dir->names, 0, sizeof(NameTable));
    ok = create(*dir->names, 32 * slotSum, slotSum == 0 ? 1 : 2 * slotSum);
    if (!ok) {
      heap_free(dir->names);
      dir->names = nullptr;
    }
  }
  if (ok) {
    dir->subdirs = static_cast<DirNode*>(heap_alloc(sizeof(DirNode) * subdirSlots));
    ok = dir->subdirs != nullptr;
  }
  if (ok) {
    dir->files = static_cast<FileNode*>(heap_alloc(sizeof(FileNode) * fileSlots));
    ok = dir->files != nullptr;
  }
  std::uint32_t index = ok ? allocate(pool) : NO_INDEX;
  if (index == NO_INDEX) {
    free_arrays(dir);
    return false;
  }
  dir->fileCapacity = fileSlots;
  dir->subdirCapacity = subdirSlots;
  dir->fileCount = 0;
  dir->subdirCount = 0;
  clear_slots(dir->files, 0, fileSlots, dir);
  clear_slots(dir->subdirs, 0, subdirSlots, dir);
  dir->parent = nullptr;
  dir->entryNameId = NO_SLOT;
  dir->nameId = NO_SLOT;
  dir->index = index << 1;
  return true;
}

FileNode* add_path(DirNode* dir, const char* path, IndexPool& pool, DirCreatedHandler onDirCreated,
                   void* context) {
  // An empty component anywhere refuses the path before anything is created.
  std::size_t pathLength = std::strlen(path);
  if (pathLength == 0 || path[0] == '/' || path[pathLength - 1] == '/' ||
      std::strstr(path, "//") != nullptr) {
    return nullptr;
  }
  DirNode* current = dir;
  const char* rest = path;
  ComponentForms forms;
  for (;;) {
    if (current == nullptr || is_file(current)) return nullptr;
    const char* end = std::strchr(rest, '/');
    std::size_t n = end != nullptr ? static_cast<std::size_t>(end - rest) : std::strlen(rest);
    if (n == 0 || !convert_component(forms, rest, n)) return nullptr;
    if (end == nullptr) {
      return add_file_bytes(current, forms.plain, forms.plainLength, forms.upper, forms.upperLength,
                            pool);
    }
    FileNode* child = find_child_bytes(current, forms.upper, forms.upperLength);
    if (child != nullptr) {
      if (is_file(child)) return nullptr;
      current = static_cast<DirNode*>(child);
    } else {
      DirNode* sub = add_subdirectory_bytes(current, forms.plain, forms.plainLength, forms.upper,
                                            forms.upperLength, pool);
      if (sub == nullptr) return nullptr;
      if (onDirCreated != nullptr && !onDirCreated(context, sub->index)) return nullptr;
      current = sub;
    }
    rest = end + 1;
  }
}

FileNode* add_file(DirNode* dir, const char* plain, const char* upper, IndexPool& pool) {
  std::size_t plainLength = std::strlen(plain);
  std::size_t upperLength = std::strlen(upper);
  if (plainLength > MAX_NAME_LENGTH || upperLength > MAX_NAME_LENGTH) return nullptr;
  return add_file_bytes(dir, as_bytes(plain), static_cast<std::uint32_t>(plainLength),
                        as_bytes(upper), static_cast<std::uint32_t>(upperLength), pool);
}

DirNode* add_subdirectory(DirNode* dir, const char* plain, const char* upper, IndexPool& pool) {
  std::size_t plainLength = std::strlen(plain);
  std::size_t upperLength = std::strlen(upper);
  if (plainLength > MAX_NAME_LENGTH || upperLength > MAX_NAME_LENGTH) return nullptr;
  return add_subdirectory_bytes(dir, as_bytes(plain), static_cast<std::uint32_t>(plainLength),
                                as_bytes(upper), static_cast<std::uint32_t>(upperLength), pool);
}

std::uint32_t take_file_slot(DirNode* dir) {
  if (dir->files == nullptr || dir->fileCount > MAX_CHILD_SLOT) return NO_SLOT;
  if (dir->fileCount == dir->fileCapacity) {
    std::uint32_t grown = dir->fileCapacity == 0 ? 1 : 2 * dir->fileCapacity;
    auto* files = static_cast<FileNode*>(heap_realloc(dir->files, sizeof(FileNode) * grown));
    if (files != nullptr) {
      clear_slots(files, dir->fileCapacity, grown, dir);
      dir->files = files;
      dir->fileCapacity = grown;
    }
  }
  if (dir->fileCount >= dir->fileCapacity) return NO_SLOT;
  return first_free_slot(dir->files, dir->fileCapacity);
}

std::uint32_t take_subdir_slot(DirNode* dir) {
  if (dir->subdirs == nullptr || dir->subdirCount > MAX_CHILD_SLOT) return NO_SLOT;
  if (dir->subdirCount == dir->subdirCapacity) {
    std::uint32_t grown = dir->subdirCapacity == 0 ? 1 : 2 * dir->subdirCapacity;
    auto* subdirs = static_cast<DirNode*>(heap_realloc(dir->subdirs, sizeof(DirNode) * grown));
    if (subdirs != nullptr) {
      clear_slots(subdirs, dir->subdirCapacity, grown, dir);
      bool moved = subdirs != dir->subdirs;
      dir->subdirs = subdirs;
      dir->subdirCapacity = grown;
      // The directories moved with the array: their children follow them.
      for (std::uint32_t i = 0; moved && i < grown; ++i) repoint_children(&subdirs[i]);
    }
  }
  if (dir->subdirCount >= dir->subdirCapacity) return NO_SLOT;
  return first_free_slot(dir->subdirs, dir->subdirCapacity);
}

FileNode* find_child(const DirNode* dir, const char* name) {
  std::size_t length = std::strlen(name);
  if (length > MAX_NAME_LENGTH) return nullptr;
  return find_child_bytes(dir, as_bytes(name), static_cast<std::uint32_t>(length));
}

const char* entry_name(const FileNode* node) {
  if (node->parent == nullptr || node->entryNameId == NO_SLOT) return nullptr;
  std::uint32_t length = 0;
  return reinterpret_cast<const char*>(key_at(*node->parent->names, node->entryNameId, &length));
}

const char* sort_name(const FileNode* node) {
  if (node->parent == nullptr || !slot_in_use(*node)) return nullptr;
  std::uint32_t length = 0;
  return reinterpret_cast<const char*>(key_at(*node->parent->names, node->nameId, &length));
}

std::uint32_t remove_node(FileNode* node, IndexPool& pool) {
  if (slot_in_use(*node) && node->parent != nullptr) {
    DirNode* parent = node->parent;
    remove_slot(*parent->names, node->nameId);
    if (node->entryNameId != node->nameId) remove_slot(*parent->names, node->entryNameId);
    if (is_file(node)) {
      parent->fileCount -= 1;
    } else {
      parent->subdirCount -= 1;
    }
  }
  node->nameId = NO_SLOT;
  node->entryNameId = NO_SLOT;
  release(pool, record_of(node));
  if (!is_file(node)) release_subtree(static_cast<DirNode*>(node), pool);
  return node->index;
}

void release_subtree(DirNode* dir, IndexPool& pool) {
  for (const FileNode& file : files_of(dir)) release(pool, record_of(&file));
  for (DirNode& sub : subdirs_of(dir)) release_subtree(&sub, pool);
  release(pool, record_of(dir));
  free_arrays(dir);
}

FileNode* find_path(DirNode* dir, const char* path) {
  FileNode* current = dir;
  const char* rest = path;
  for (;;) {
    while (*rest == '/') {
      if (is_file(current)) return nullptr;
      ++rest;
    }
    if (*rest == 0) return current;
    if (is_file(current)) return nullptr;
    const char* end = std::strchr(rest, '/');
    std::size_t n = end != nullptr ? static_cast<std::size_t>(end - rest) : std::strlen(rest);
    if (n > MAX_NAME_LENGTH) return nullptr;
    current = find_child_bytes(static_cast<DirNode*>(current), as_bytes(rest),
                               static_cast<std::uint32_t>(n));
    if (current == nullptr) return nullptr;
    rest += n;
  }
}

bool build_path(const FileNode* node, char* buffer, std::size_t capacity) {
  std::size_t total = 0;
  for (const FileNode* n = node; n->parent != nullptr; n = n->parent) {
    total += name_length(n, n->entryNameId) + 1;
  }
  if (total > 0 && is_file(node)) total -= 1;
  if (total + 1 > capacity) {
    if (capacity > 0) buffer[0] = 0;
    return false;
  }
  buffer[total] = 0;
  std::size_t position = total;
  for (const FileNode* n = node; n->parent != nullptr; n = n->parent) {
    if (n != node || !is_file(node)) buffer[--position] = '/';
    std::uint32_t length = 0;
    const std::uint8_t* name = key_at(*n->parent->names, n->entryNameId, &length);
    position -= length;
    std::memcpy(buffer + position, name, length);
  }
  return true;
}
