#include "diskmason/front/packer.h"

#include <cstdarg>

#include "diskmason/front/packer_run.h"
#include "textconv/heap.h"

namespace {

// Everything after the header line, each step only while the run is good.
void pack(PackerRun& run) {
  run.good = check_sizes(run) && read_boot_file(run) &&
             plan_geometry(run.params, run.bootLength, run.geometry) && start_records(run);
  read_file_lines(run);
  if (run.good) run.good = check_root_size(run) && check_short_names(run, &run.root);
  if (run.good) run.good = lay_out(run);
  if (run.good) run.good = check_track_limit(run) && check_fat_reach(run);
  if (run.good) run.good = write_image(run);
}

void release_run(PackerRun& run) {
  if (run.root.subdirs != nullptr) remove_node(&run.root, run.pool);
  destroy(run.pool);
  if (run.hostPaths.text != nullptr) string_pool_release(run.hostPaths);
  if (run.imagePaths.text != nullptr) string_pool_release(run.imagePaths);
  heap_free(run.names);
  heap_free(run.infos);
  heap_free(run.boot);
  std::fclose(run.list);
}

}  // namespace

const std::uint8_t* field_text(const PackerRun& run, std::uint32_t i) {
  return run.line + run.fields[i].offset;
}

std::uint32_t field_number(const PackerRun& run, std::uint32_t i) {
  return decode_number(field_text(run, i), run.fields[i].length);
}

const char* terminate_field(PackerRun& run, std::uint32_t i) {
  run.line[run.fields[i].offset + run.fields[i].length] = 0;
  return reinterpret_cast<const char*>(field_text(run, i));
}

void report_problem(const PackerRun& run, const char* format, ...) {
  std::printf("DISKMASON in file list %s: ", run.listPath);
  va_list args;
  va_start(args, format);
  std::vprintf(format, args);
  va_end(args);
  std::fflush(stdout);
}

void report(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vprintf(format, args);
  va_end(args);
  std::fflush(stdout);
}

void report_overwrite(const PackerRun& run, const char* name) {
  report_problem(run, "image %s would overwrite %s\n", run.imagePath, name);
}

bool differs_from_image(const PackerRun& run, std::FILE* stream, const char* name) {
  if (!is_same_file(stream, run.image)) return true;
  report_overwrite(run, name);
  return false;
}

int run_packer(int argc, char** argv) {
  if (argc != 3) return 1;
  PackerRun run{};
  run.listPath = argv[1];
  run.imagePath = argv[2];
  run.list = std::fopen(run.listPath, "rb");
  if (run.list == nullptr) return 1;
  run.image = identity_of_path(run.imagePath);
  if (differs_from_image(run, run.list, run.listPath) && read_header_line(run)) pack(run);
  release_run(run);
  return run.good ? 0 : 1;
}
