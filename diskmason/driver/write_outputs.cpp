// Writing the image, the layout map and the dependency file, each whole or
// not at all, and saying how it went.
#include <cerrno>
#include <cstring>
#include <memory>

#include "diskmason/container/disk_map.h"
#include "diskmason/driver/pack_run.h"
#include "diskmason/volume/volume_writer.h"
#include "textconv/whole_output.h"

namespace {

// A larger stream buffer: the image goes out in a few big writes instead
// of one per 4 KB.
constexpr std::size_t OUTPUT_BUFFER_SIZE = 1 << 16;

// The host files as the volume writer reads them: the one kept open since
// it was measured, else opened again by its path.
struct HostFileSource {
  PackRun& run;
  HostFile open;
};

FileOpened open_entry(void* context, std::uint32_t entry) {
  auto& s = *static_cast<HostFileSource*>(context);
  s.open = take_kept_file(s.run.hostFiles, entry);
  if (is_open(s.open) || open_host_file(s.run.disk.tree.entries[entry].hostPath.c_str(), s.open)) {
    return FileOpened::Open;
  }
  // Memory that ran out says nothing about the file; the writer stops.
  return errno == ENOMEM ? FileOpened::NoMemory : FileOpened::Missing;
}

std::uint32_t read_entry(void* context, std::uint8_t* buffer, std::uint32_t length) {
  return read_host_file(static_cast<HostFileSource*>(context)->open, buffer, length);
}

void close_entry(void* context) {
  auto& s = *static_cast<HostFileSource*>(context);
  close_host_file(s.open);
  s.open = HostFile{};
}

void missed_entry(void* context, std::uint32_t entry, bool shortened) {
  auto& s = *static_cast<HostFileSource*>(context);
  const char* path = s.run.disk.tree.entries[entry].hostPath.c_str();
  if (shortened) {
    report_problem(s.run, "file %s became shorter after it was measured\n", path);
  } else {
    report_problem(s.run, "file %s could not be opened again to write the image\n", path);
  }
}

// Why an output could not be written, with the previous file kept.
void explain_output_failure(PackRun& run, const char* path, const char* what, int error) {
  if (error == HELD_OPEN) {
    explain_at(run.reporter, SourcePlace{path, 0, 0},
               "another program holds the file open (an emulator with the disk inserted?); the previous %s is kept",
               what);
  } else {
    explain_at(run.reporter, SourcePlace{path, 0, 0}, "the %s cannot be written: %s; nothing is replaced", what,
               std::strerror(error));
  }
}

// The image's bytes into its temporary.
bool write_image_file(PackRun& run, WholeOutput& out) {
  const char* path = run.options.imagePath;
  std::unique_ptr<char[]> streamBuffer(new (std::nothrow) char[OUTPUT_BUFFER_SIZE]);
  if (streamBuffer != nullptr) std::setvbuf(out.stream, streamBuffer.get(), _IOFBF, OUTPUT_BUFFER_SIZE);
  const Disk& disk = run.disk;
  Volume volume{disk.params, disk.geometry, disk.tree, disk.order, disk.boot.data(),
                static_cast<std::uint32_t>(disk.boot.size())};
  HostFileSource source{run, HostFile{}};
  FileSource files{open_entry, read_entry, close_entry, missed_entry, &source};
  std::uint32_t outcome = write_container(out.stream, disk.plan, disk.params, volume, files);
  int error = 0;
  if (std::fflush(out.stream) != 0) outcome |= VOLUME_WRITE_FAILED;
  if ((outcome & VOLUME_WRITE_FAILED) != 0) error = errno;
  std::setvbuf(out.stream, nullptr, _IONBF, 0);  // the buffer goes before the stream
  if ((outcome & VOLUME_NO_MEMORY) != 0) {
    report_problem(run, "not enough memory to write image %s\n", path);
  } else if ((outcome & VOLUME_WRITE_FAILED) != 0) {
    report_problem(run, "image %s could not be written\n", path);
    explain_output_failure(run, path, "image", error != 0 ? error : EIO);
  }
  return outcome == 0;
}

bool write_map_file(PackRun& run, WholeOutput& out) {
  const Disk& disk = run.disk;
  if (!stored_names_readable(run)) {
    explain_no_memory(run, "for the map");
    return false;
  }
  return write_disk_map(out.stream, DiskMap{disk.tree, disk.geometry, disk.plan, disk.order, disk.params.totalSectors,
                                            run.reverse, nullptr, nullptr});
}

// The one-line message of an output that could not be written.
void report_unwritten(PackRun& run, std::uint32_t kind, const char* path, int error) {
  if (kind == IMAGE_OUTPUT && error == ENOMEM) {
    report_problem(run, "not enough memory to write image %s\n", path);
    return;
  }
  if (kind == IMAGE_OUTPUT) {
    report_problem(run, "image %s could not be written\n", path);
  } else {
    report_problem(run, "%s %s could not be written\n", kind == MAP_OUTPUT ? "map" : "dependency file", path);
  }
  explain_output_failure(run, path, kind == IMAGE_OUTPUT ? "image" : kind == MAP_OUTPUT ? "map" : "dependency file",
                         error);
}

const char* plural(std::uint64_t n) { return n == 1 ? "" : "s"; }

// A summary of the disk for --verbose.
void summarize_image(PackRun& run) {
  const Disk& disk = run.disk;
  std::uint32_t files = 0;
  std::uint32_t folders = 0;
  std::uint64_t bytes = 0;
  for (const Entry& e : disk.tree.entries) {
    if (is_root(e)) continue;
    e.folder ? ++folders : ++files;
    bytes += e.size;
  }
  std::uint32_t last = last_cluster_within(disk.geometry, disk.params.totalSectors);
  std::uint32_t used = disk.endCluster - FIRST_DATA_CLUSTER;
  std::uint32_t free = last + 1 > disk.endCluster ? last + 1 - disk.endCluster : 0;
  summary_at(run.reporter, SourcePlace{run.options.imagePath, 0, 0},
             "%u file%s, %u folder%s, %u cluster%s used, %u free, %llu byte%s of files", files, plural(files),
             folders, plural(folders), used, plural(used), free, static_cast<unsigned long long>(bytes),
             plural(bytes));
}

}  // namespace

bool write_outputs(PackRun& run) {
  const char* paths[OUTPUT_KINDS] = {run.options.imagePath, run.options.mapPath, run.options.depfilePath};
  WholeOutput outputs[OUTPUT_KINDS];
  for (std::uint32_t kind = 0; kind < OUTPUT_KINDS; ++kind) {
    if (paths[kind] == nullptr) continue;
    int error = 0;
    if (!open_whole_output(outputs[kind], paths[kind], &error, kind == MAP_OUTPUT)) {
      report_unwritten(run, kind, paths[kind], error);
      return false;
    }
    bool written = kind == IMAGE_OUTPUT ? write_image_file(run, outputs[kind])
                   : kind == MAP_OUTPUT ? write_map_file(run, outputs[kind])
                                        : write_depfile_rule(run, outputs[kind].stream);
    if (!written) {
      if (kind != IMAGE_OUTPUT) report_unwritten(run, kind, paths[kind], errno != 0 ? errno : EIO);
      return false;
    }
  }
  // Every output is written: each takes its place, the image last.
  for (std::uint32_t kind : {MAP_OUTPUT, DEPFILE_OUTPUT, IMAGE_OUTPUT}) {
    if (paths[kind] == nullptr) continue;
    int error = 0;
    if (!finish_whole_output(outputs[kind], &error)) {
      report_unwritten(run, kind, paths[kind], error);
      return false;
    }
  }
  summarize_image(run);
  return true;
}
