// The replacement values a script refers to as "%name%": names held in the ANSI code page, values
// as UTF-16, in the order they were defined.
#pragma once

#include <memory>
#include <vector>

#include "support/platform.h"

namespace pellmora {

class ReplacementMap {
 public:
  // Adds one entry with copies of both texts; a name defined again adds another entry, which
  // lookups never reach. S_OK, E_INVALIDARG for a missing text, E_OUTOFMEMORY (nothing added).
  HRESULT Add(const char16_t* name, const char16_t* value) noexcept;
  // The value of the first entry whose name equals `name` without regard to case, or null.
  const char16_t* Find(const char* name) const noexcept;
  void Clear() noexcept { entries_.clear(); }
  int Count() const noexcept { return static_cast<int>(entries_.size()); }

 private:
  struct Entry {
    std::unique_ptr<char[]> name;
    std::unique_ptr<char16_t[]> value;
  };
  std::vector<Entry> entries_;
};

}  // namespace pellmora
