// Spelling stored names for a file list. A folder holds its entries sorted
// by the names the list wrote (Shift-JIS bytes, before upper-casing and the
// cut to 8.3), so a list that rebuilds the folder must spell each stored
// name so that the spellings sort as the disk holds them: a letter may be
// written in lower case, a full 8-byte base or 3-byte extension may go on
// with bytes that the cut drops, and a name without extension may end with
// a dot. The spelling chosen is the least one after the previous entry's,
// which is the stored name itself wherever that sorts right.
#pragma once

#include <cstdint>
#include <string>

#include "diskmason/model/short_name.h"

struct SjisReverse;

// The least Shift-JIS spelling of the stored 8.3 name (SHORT_NAME_SIZE
// bytes) that sorts after `previous`; false when there is none.
bool spell_after(const SjisReverse& reverse, const std::uint8_t* shortName, const std::string& previous,
                 std::string& spelling);

// The UTF-8 text that converts to the Shift-JIS bytes; false when a byte
// has no character.
bool sjis_spelling_to_utf8(const SjisReverse& reverse, const std::string& sjis, std::string& utf8);
