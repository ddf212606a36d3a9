// Warnings about file lines that pack without failing but not as their
// writer most likely meant: a line cut at the buffer's end, a line that
// looks like a comment, odd dates, times, attribute letters and start
// clusters, and names the 8.3 form cuts or cannot hold as they are.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "diskmason/driver/pack_run.h"
#include "diskmason/model/attributes.h"
#include "diskmason/model/date_time.h"
#include "diskmason/volume/geometry.h"
#include "textconv/encoding_guess.h"
#include "textconv/sjis_check.h"

namespace {

// Longest text a warning shows for a stored name.
constexpr std::size_t SHOWN_NAME = 64;

// A part that a directory entry cannot hold is stored cut to its bits, so
// other systems show another date or none.
void check_date_time_range(PackRun& run, std::uint32_t field, const DateTimeReading& reading, bool isTime) {
  const DateTimePart* part = reading.outOfRange;
  if (part != nullptr) {
    warn_at(run.reporter, field_place(run, field), "the %s %u is outside %u to %u; the entry's %s will be wrong",
            part->name, reading.value, part->lowest, part->highest, isTime ? "time" : "date");
  }
}

const char* field_string(PackRun& run, std::uint32_t field, int* length) {
  *length = static_cast<int>(run.list.fields[field].length);
  return reinterpret_cast<const char*>(field_text(run, field));
}

// A date or time of the wrong form zeroes both: the entry holds them in one field.
void check_date_time(PackRun& run) {
  int n = 0;
  const DateTimeReading date = read_date_time(field_text(run, DATE), run.list.fields[DATE].length, false);
  const DateTimeReading time = read_date_time(field_text(run, TIME), run.list.fields[TIME].length, true);
  if (!date.form) {
    const char* text = field_string(run, DATE, &n);
    warn_at(run.reporter, field_place(run, DATE),
            "the date '%.*s' is not year-month-day (2024-04-01); the entry's date and time are both stored as 0", n,
            text);
  }
  if (!time.form) {
    const char* text = field_string(run, TIME, &n);
    warn_at(run.reporter, field_place(run, TIME),
            "the time '%.*s' is not hour:minute:second (09:00:00); the entry's date and time are both stored as 0", n,
            text);
  }
  check_date_time_range(run, DATE, date, false);
  check_date_time_range(run, TIME, time, true);
  if (date.monthDays != 0) {
    const char* text = field_string(run, DATE, &n);
    warn_at(run.reporter, field_place(run, DATE), "'%.*s' is not in the calendar (its month has %u days); stored as written",
            n, text, date.monthDays);
  }
}

// The start cluster the line fixes its file at (as stored, 16 bits), or
// START_NOT_FIXED.
std::uint32_t fixed_start(PackRun& run) {
  std::uint32_t start = 0;
  if (run.list.fieldCount <= START_CLUSTER ||
      !parse_number(field_text(run, START_CLUSTER), run.list.fields[START_CLUSTER].length, &start)) {
    return START_NOT_FIXED;
  }
  return start & 0xFFFF;
}

void check_attributes(PackRun& run, std::uint32_t size) {
  const std::uint8_t* text = field_text(run, ATTRIBUTES);
  std::uint32_t length = run.list.fields[ATTRIBUTES].length;
  std::uint32_t bad = first_unknown_attribute(text, length);
  if (bad < length) {
    warn_at(run.reporter, field_place(run, ATTRIBUTES, bad),
            "'%c' is not an attribute letter (R, H, S, V, D, A, I or ?, upper case; - for none); it is ignored",
            text[bad]);
  }
  std::uint8_t attributes = decode_attributes(text, length);
  if ((attributes & DIRECTORY_ATTRIBUTE) != 0) {
    warn_at(run.reporter, field_place(run, ATTRIBUTES),
            "attribute D makes the host file's bytes the entries of a directory; directories are made from the "
            "image paths");
  }
  if ((attributes & VOLUME_ATTRIBUTE) != 0) {
    // An empty label takes a cluster only when fixed to one.
    std::uint32_t clusters = size != 0 ? ceil_div(size, run.disk.geometry.clusterSize) : fixed_start(run) != START_NOT_FIXED;
    if (clusters == 0) {
      warn_at(run.reporter, field_place(run, ATTRIBUTES), "attribute V makes this entry the disk's volume label");
    } else {
      warn_at(run.reporter, field_place(run, ATTRIBUTES),
              "attribute V makes this entry the disk's volume label; it still takes %u cluster%s", clusters,
              clusters == 1 ? "" : "s");
    }
  }
}

void check_start_cluster(PackRun& run, std::uint32_t size) {
  const std::uint32_t start = fixed_start(run);
  if (start == START_NOT_FIXED) return;
  if (start < FIRST_DATA_CLUSTER) {
    warn_at(run.reporter, field_place(run, START_CLUSTER),
            "start cluster %u lies before the data area (cluster 2): the file's data is not written", start);
  } else if (size == 0) {
    warn_at(run.reporter, field_place(run, START_CLUSTER),
            "the file is empty but fixed at cluster %u, so it takes one cluster of fill, which FAT checkers report; "
            "without a start cluster it takes none",
            start);
  }
}

struct TextWarner {
  PackRun& run;
  const std::uint8_t* text;
  std::uint32_t start;  // of the text in the image path field
};

void warn_text_finding(void* context, const TextFinding& finding) {
  TextWarner& w = *static_cast<TextWarner*>(context);
  if (finding.issue == TextIssue::NotUtf8 && w.run.shiftJisList) return;  // said once for the list
  char text[256];
  describe_finding(finding, w.text, text, sizeof text);
  warn_at(w.run.reporter, field_place(w.run, IMAGE_PATH, w.start + finding.offset), "%s", text);
}

// The 8.3 form of one entry's name, against the component of the current
// line's image path at [start, start + length).
void check_short_name(PackRun& run, const Entry& e, std::uint32_t start, std::uint32_t length) {
  SourcePlace place = field_place(run, IMAGE_PATH, start);
  const char* name = reinterpret_cast<const char*>(field_text(run, IMAGE_PATH) + start);
  if (e.fit.cut) {
    char shown[SHOWN_NAME];
    show_stored_name(run, e.shortName, shown, sizeof shown);
    warn_at(run.reporter, place, "'%.*s' is cut to the short name '%s'%s", int(length), name, shown,
            e.fit.cutInsideCharacter ? ", inside a double-byte character" : "");
  }
  if (e.fit.dotInBase) {
    warn_at(run.reporter, place, "'%.*s' has a dot in its base name; a short name has one dot, before its extension",
            int(length), name);
  }
  if (e.fit.forbidden.none()) return;
  char listed[128 * 6] = "";
  std::size_t at = 0;
  for (std::uint32_t unit = 0; unit < 128; ++unit) {
    if (!e.fit.forbidden.test(unit)) continue;
    if (unit < 0x20 || unit == 0x7F) {
      at += std::snprintf(listed + at, sizeof listed - at, "%scontrol character %02Xh", at == 0 ? "" : ", ", unit);
    } else {
      at += std::snprintf(listed + at, sizeof listed - at, "%s'%c'", at == 0 ? "" : ", ", static_cast<char>(unit));
    }
  }
  warn_at(run.reporter, place, "'%.*s' holds %s, which short names may not hold", int(length), name, listed);
}

// '~' and '\' convert to double-byte characters, not to the bytes 7Eh and 5Ch.
void check_converted_signs(PackRun& run, const std::uint8_t* text, std::uint32_t length, std::uint32_t start) {
  const char* name = reinterpret_cast<const char*>(text);
  if (std::memchr(text, '~', length) != nullptr) {
    warn_at(run.reporter, field_place(run, IMAGE_PATH, start),
            "'%.*s' holds '~', which is stored as the double-byte character 81B0h; write '\xE2\x80\xBE' for the byte 7Eh",
            int(length), name);
  }
  if (std::memchr(text, '\\', length) != nullptr) {
    warn_at(run.reporter, field_place(run, IMAGE_PATH, start),
            "'%.*s' holds '\\', which is stored as the double-byte character 815Fh; folders are separated by '/'",
            int(length), name);
  }
}

void check_name(PackRun& run, const Entry& e) {
  auto end = static_cast<std::uint32_t>(e.imagePath.size());
  std::uint32_t start = end;
  while (start > 0 && e.imagePath[start - 1] != '/') --start;
  const std::uint8_t* text = field_text(run, IMAGE_PATH) + start;
  TextWarner warner{run, text, start};
  check_sjis_text(text, end - start, warn_text_finding, &warner);
  std::uint32_t length = end - start;
  if ((length == 1 || length == 2) && std::memcmp(text, "..", length) == 0) {
    warn_at(run.reporter, field_place(run, IMAGE_PATH, start),
            "'%.*s' is stored as an entry %s, not as a reference to a folder", int(length),
            reinterpret_cast<const char*>(text), length == 2 ? "named '.'" : "with an empty name");
    return;
  }
  check_converted_signs(run, text, length, start);
  check_short_name(run, e, start, length);
}

}  // namespace

void check_line_length(PackRun& run) {
  int next = std::getc(run.list.stream);
  if (next == EOF) return;
  std::ungetc(next, run.list.stream);
  if (next == '\n' || next == '\r' || run.list.columnBase != 0) return;
  warn_at(run.reporter, SourcePlace{run.options.listPath, run.list.lineNumber, LIST_LINE_LIMIT + 1},
          "the line is longer than %u bytes; the rest is read as a line of its own", LIST_LINE_LIMIT);
}

void check_note_line(PackRun& run) {
  if (run.list.fields[HOST_PATH].length == 0 || field_text(run, HOST_PATH)[0] != '#') return;
  warn_at(run.reporter, field_place(run, HOST_PATH),
          "a line of 5 or more fields is a file line even when it starts with '#': there are no comments; only "
          "lines of fewer than 5 fields are skipped");
}

void check_file_fields(PackRun& run, std::uint32_t size) {
  check_date_time(run);
  check_attributes(run, size);
  check_start_cluster(run, size);
}

void check_new_names(PackRun& run, std::uint32_t first, std::uint32_t end) {
  for (std::uint32_t entry = first; entry <= end; ++entry) check_name(run, run.disk.tree.entries[entry]);
}

// The header's own choices that FAT checkers and other systems read otherwise.
void warn_about_header(PackRun& run) {
  const VolumeGeometry& g = run.disk.geometry;
  const DiskParams& p = run.disk.params;
  if (p.reservedSectors != g.bootSectors) {
    warn_at(run.reporter, header_place(run, RESERVED_SECTORS),
            "header field 6 gives %u reserved sectors, but the boot area takes %u (the boot file has %u bytes): other "
            "systems look for the FAT at sector %u, this disk has it at sector %u",
            unsigned{p.reservedSectors}, g.bootSectors, static_cast<unsigned>(run.disk.boot.size()),
            unsigned{p.reservedSectors}, g.fatStart);
  }
  const std::uint32_t perSector = g.sectorSize / 32;
  if (p.rootEntries % perSector != 0) {
    warn_at(run.reporter, header_place(run, ROOT_ENTRIES),
            "header field 8 gives %u root entries, which do not fill whole sectors (%u to a sector); FAT checkers "
            "expect a multiple of %u",
            unsigned{p.rootEntries}, perSector, perSector);
  }
  if (p.totalSectors <= g.dataStart) return;
  const std::uint64_t clusters = (p.totalSectors - g.dataStart) / g.sectorsPerCluster;
  const std::uint64_t tableBytes = std::min<std::uint64_t>(std::uint64_t{g.fatSectors} * g.sectorSize, 6144);
  const std::uint64_t held = tableBytes * 2 / 3;  // 12 bits an entry, two of them for the media byte
  if (clusters + 2 > held) {
    warn_at(run.reporter, header_place(run, SECTORS_PER_FAT),
            "header field 11 gives %u sectors per FAT, which hold %llu clusters, but the disk's %u total sectors make "
            "%llu: FAT checkers find the FAT too small",
            unsigned{p.sectorsPerFat}, static_cast<unsigned long long>(held > 2 ? held - 2 : 0),
            unsigned{p.totalSectors}, static_cast<unsigned long long>(clusters));
  }
}

void check_skipped_line(PackRun& run) {
  const std::uint32_t count = run.list.fieldCount;
  if (count == 0) return;
  bool looksLikeFile = count > DATE && has_date_form(field_text(run, DATE), run.list.fields[DATE].length);
  if (!looksLikeFile) {
    std::string path = input_path(run, terminate_field(run, HOST_PATH));
    looksLikeFile = identity_of_path(path.c_str()).regular;
  }
  if (!looksLikeFile) return;
  warn_at(run.reporter, line_place(run),
          "this line has %u field%s and is skipped: a file line needs 5 (host path, image path, date, time, "
          "attributes; - for none)",
          count, count == 1 ? "" : "s");
}

void check_quotes(PackRun& run) {
  const std::uint8_t* line = run.list.line;
  const std::uint32_t length = run.list.length;
  std::uint32_t last = 0;
  std::uint32_t quotes = 0;
  for (const void* at = std::memchr(line, '"', length); at != nullptr;) {
    last = static_cast<std::uint32_t>(static_cast<const std::uint8_t*>(at) - line);
    ++quotes;
    at = std::memchr(line + last + 1, '"', length - last - 1);
  }
  if (quotes % 2 == 0) return;
  warn_at(run.reporter, SourcePlace{run.options.listPath, run.list.lineNumber, run.list.columnBase + last + 1},
          "this double quote is not closed: the field it opens is dropped");
}

void check_path_encoding(PackRun& run) {
  if (run.shiftJisList ||
      !reads_as_shift_jis(field_text(run, IMAGE_PATH), run.list.fields[IMAGE_PATH].length)) {
    return;
  }
  run.shiftJisList = true;
  explain_at(run.reporter, field_place(run, IMAGE_PATH),
             "the image path is not UTF-8 but reads as Shift-JIS (code page 932), and upper-casing would garble "
             "its names; convert the list: iconv -f CP932 -t UTF-8 %s > utf8.lst",
             run.options.listPath);
}
