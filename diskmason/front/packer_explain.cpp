// Why an image path could not be placed in the tree, for --verbose: the
// tree refuses it without a reason, so the reason is found again here.
#include <algorithm>
#include <cstring>

#include "diskmason/front/packer_run.h"
#include "diskmason/tree/name_forms.h"
#include "textconv/transcoder.h"

namespace {

// The image path of the node that an earlier line placed, and that line.
struct Earlier {
  char path[LIST_LINE_LIMIT + 1];
  std::uint32_t line;
};

Earlier earlier_of(const PackerRun& run, const FileNode* node) {
  Earlier e{};
  image_name_of(run, node, e.path, sizeof e.path);
  e.line = run.origins[record_of(node)].line;
  return e;
}

void explain_unknown(PackerRun& run, const char* path) {
  explain_at(run.diag, line_place(run),
             "image path '%s' could not be placed: out of memory, or too many entries in one "
             "directory",
             path);
}

// A component the tree cannot hold as a name: within a line of the list the
// only such one has a character that converts to a zero byte.
void explain_bad_component(PackerRun& run, const char* path, const char* text, std::size_t n) {
  std::uint8_t converted[2 * LIST_LINE_LIMIT];
  std::uint32_t length = utf8_to_sjis(reinterpret_cast<const std::uint8_t*>(text),
                                      static_cast<std::uint32_t>(std::min<std::size_t>(n, LIST_LINE_LIMIT)),
                                      converted, sjis_table.codes, sjis_table.trie);
  if (std::memchr(converted, 0, length) == nullptr) {
    explain_unknown(run, path);
    return;
  }
  explain_at(run.diag, line_place(run), "image path '%s' has a character that converts to a zero byte",
             path);
}

// The file's name clashes with a child of its directory.
void explain_name_clash(PackerRun& run, const char* path, const DirNode* dir,
                        const ComponentForms& forms) {
  const char* plain = reinterpret_cast<const char*>(forms.plain);
  const FileNode* other = find_child(dir, plain);
  bool samePlain = other != nullptr && std::strcmp(sort_name(other), plain) == 0;
  if (other == nullptr) other = find_child(dir, reinterpret_cast<const char*>(forms.upper));
  if (other == nullptr) {
    explain_unknown(run, path);
    return;
  }
  Earlier e = earlier_of(run, other);
  if (!is_file(other)) {
    explain_at(run.diag, line_place(run),
               "image path '%s' names a file where line %u made the directory '%s'", path, e.line,
               e.path);
  } else if (samePlain) {
    explain_at(run.diag, line_place(run), "image path '%s' was placed already by line %u", path,
               e.line);
  } else {
    explain_at(run.diag, line_place(run),
               "image path '%s' differs only in letter case from '%s' of line %u", path, e.path,
               e.line);
  }
}

bool has_empty_component(const char* path) {
  std::size_t length = std::strlen(path);
  return length == 0 || path[0] == '/' || path[length - 1] == '/' ||
         std::strstr(path, "//") != nullptr;
}

}  // namespace

void image_name_of(const PackerRun& run, const FileNode* node, char* out, std::size_t capacity) {
  const NodeOrigin& origin = run.origins[record_of(node)];
  if (origin.pathIndex == NO_NAME) {
    out[0] = 0;
    return;
  }
  const char* text = reinterpret_cast<const char*>(run.imagePaths.text) +
                     run.imagePaths.spans[origin.pathIndex].offset;
  std::size_t length = std::min<std::size_t>(origin.length, capacity - 1);
  std::memcpy(out, text, length);
  out[length] = 0;
}

void explain_unplaced(PackerRun& run, const char* path) {
  if (!run.diag.verbose) return;
  if (has_empty_component(path)) {
    explain_at(run.diag, line_place(run), "image path '%s' has an empty component", path);
    return;
  }
  const DirNode* dir = &run.root;
  ComponentForms forms;
  for (const char* rest = path;;) {
    const char* end = std::strchr(rest, '/');
    std::size_t n = end != nullptr ? static_cast<std::size_t>(end - rest) : std::strlen(rest);
    if (!convert_component(forms, rest, n)) {
      explain_bad_component(run, path, rest, n);
      return;
    }
    if (end == nullptr) {
      explain_name_clash(run, path, dir, forms);
      return;
    }
    const FileNode* child = find_child(dir, reinterpret_cast<const char*>(forms.upper));
    if (child == nullptr) {
      explain_unknown(run, path);
      return;
    }
    if (is_file(child)) {
      Earlier e = earlier_of(run, child);
      explain_at(run.diag, line_place(run),
                 "image path '%s' needs '%.*s' as a directory, but line %u made it a file ('%s')",
                 path, static_cast<int>(end - path), path, e.line, e.path);
      return;
    }
    dir = static_cast<const DirNode*>(child);
    rest = end + 1;
  }
}
