// Fuzzes the file list reader: line reading, field splitting and every field
// decoder, over in-memory lists.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "diskmason/driver/list_reader.h"
#include "diskmason/model/attributes.h"
#include "diskmason/model/date_time.h"
#include "fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FILE* in = open_input(data, size);
  uint8_t line[LIST_LINE_LIMIT + 1];
  FieldSpan fields[HEADER_FIELD_LIMIT];
  bool header = true;
  while (!std::feof(in) && !std::ferror(in)) {
    uint32_t length = LIST_LINE_LIMIT;
    read_list_line(in, line, &length);
    if (length > LIST_LINE_LIMIT) std::abort();
    uint32_t limit = header ? HEADER_FIELD_LIMIT : FILE_FIELD_LIMIT;
    uint32_t count = split_fields(line, length, fields, limit);
    if (count > limit) std::abort();
    for (uint32_t i = 0; i < count; ++i) {
      if (fields[i].offset > length || fields[i].length > length - fields[i].offset) std::abort();
      line[fields[i].offset + fields[i].length] = 0;  // the driver terminates fields in place
    }
    for (uint32_t i = 0; i < count; ++i) {
      const uint8_t* text = line + fields[i].offset;
      uint32_t length = fields[i].length;
      uint32_t value = 0;
      parse_number(text, length, &value);
      decode_attributes(text, length);
      if (first_unknown_attribute(text, length) > length) std::abort();
      if (i + 1 < count) {
        const uint8_t* next = line + fields[i + 1].offset;
        uint32_t packed = decode_date_time(text, length, next, fields[i + 1].length);
        bool forms = has_date_form(text, length) && has_time_form(next, fields[i + 1].length);
        if (packed != 0 && !forms) std::abort();
      }
    }
    header = false;
  }
  std::fclose(in);
  return 0;
}
