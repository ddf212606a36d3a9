#include "diskmason/tree/name_forms.h"

#include <cstring>

#include "diskmason/tree/name_table.h"
#include "textconv/heap.h"
#include "textconv/transcoder.h"

ComponentForms::~ComponentForms() { heap_free(heap); }

bool convert_component(ComponentForms& forms, const char* text, std::size_t n) {
  // Conversion shortens at most 6 bytes to 1, so a longer component can
  // never come out as a key.
  if (n > static_cast<std::size_t>(6) * (NAME_KEY_LIMIT - 1)) return false;
  std::size_t need = n + 2 * (2 * n + 1);
  std::uint8_t* space = forms.local;
  if (need > sizeof forms.local) {
    heap_free(forms.heap);
    forms.heap = static_cast<std::uint8_t*>(heap_alloc(need));
    if (forms.heap == nullptr) return false;
    space = forms.heap;
  }
  std::uint8_t* folded = space;
  forms.plain = space + n;
  forms.upper = forms.plain + 2 * n + 1;
  for (std::size_t i = 0; i < n; ++i) {
    std::uint8_t b = static_cast<std::uint8_t>(text[i]);
    folded[i] = (b >= 'a' && b <= 'z') ? static_cast<std::uint8_t>(b - 0x20) : b;
  }
  auto length = static_cast<std::uint32_t>(n);
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text);
  forms.plainLength = utf8_to_sjis(bytes, length, forms.plain, sjis_table.codes, sjis_table.trie);
  forms.upperLength = utf8_to_sjis(folded, length, forms.upper, sjis_table.codes, sjis_table.trie);
  forms.plain[forms.plainLength] = 0;
  forms.upper[forms.upperLength] = 0;
  if (forms.plainLength >= NAME_KEY_LIMIT || forms.upperLength >= NAME_KEY_LIMIT) return false;
  // A zero byte (from the four-byte form of U+0000) would end the name early
  // in a directory entry; such a name cannot be written.
  return std::memchr(forms.plain, 0, forms.plainLength) == nullptr;
}
