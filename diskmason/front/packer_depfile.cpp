// The dependency file of --depfile: the image, as the command line named it,
// depends on the file list, the boot file and every host file on the disk,
// named by absolute paths, in the syntax that Make and Ninja read.
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "diskmason/front/packer_run.h"

namespace {

constexpr std::size_t FOLDER_LIMIT = 4096;

bool is_absolute(const char* path) {
  if (path[0] == '/' || path[0] == '\\') return true;
#if defined(_WIN32)
  if (path[0] != 0 && path[1] == ':') return true;
#endif
  return false;
}

// A path with the escapes Make and Ninja undo: "\ ", "\#" and "$$".
void put_escaped(std::FILE* out, const char* path) {
  for (const char* p = path; *p != 0; ++p) {
    if (*p == ' ' || *p == '#') std::fputc('\\', out);
    if (*p == '$') std::fputc('$', out);
    std::fputc(*p, out);
  }
}

void put_prerequisite(std::FILE* out, const char* folder, const char* path) {
  std::fputs(" \\\n  ", out);
  if (!is_absolute(path)) {
    put_escaped(out, folder);
    std::size_t length = std::strlen(folder);
    if (length == 0 || folder[length - 1] != '/') std::fputc('/', out);
  }
  put_escaped(out, path);
}

void put_rule(const PackerRun& run, std::FILE* out, const char* folder) {
  put_escaped(out, run.imagePath);
  std::fputc(':', out);
  put_prerequisite(out, folder, run.listPath);
  put_prerequisite(out, folder, run.bootPath);
  const StringPool& hosts = run.hostPaths;
  for (std::uint32_t i = 0; i < hosts.count; ++i) {
    put_prerequisite(out, folder, reinterpret_cast<const char*>(hosts.text) + hosts.spans[i].offset);
  }
  std::fputc('\n', out);
}

}  // namespace

bool write_depfile(PackerRun& run) {
  if (run.depfilePath == nullptr) return true;
  char folder[FOLDER_LIMIT];
  std::FILE* out = nullptr;
  if (getcwd(folder, sizeof folder) != nullptr) out = std::fopen(run.depfilePath, "wb");
  bool ok = out != nullptr;
  if (ok) {
    put_rule(run, out, folder);
    ok = !std::ferror(out);
    if (std::fclose(out) != 0) ok = false;
  }
  if (!ok) report_problem(run, "dependency file %s could not be written\n", run.depfilePath);
  return ok;
}
