#include "registrar/replacement_map.h"

#include <cstring>
#include <new>
#include <string>

#include "registrar/narrow_copy.h"

namespace pellmora {

HRESULT ReplacementMap::Add(const char16_t* name, const char16_t* value) noexcept {
  if (name == nullptr || value == nullptr) return E_INVALIDARG;
  const std::size_t valueUnits = std::char_traits<char16_t>::length(value);
  ScratchBuffer scratch;
  char* narrow = nullptr;
  if (FAILED(NarrowCopy(name, scratch, false, &narrow))) return E_OUTOFMEMORY;

  Entry entry;
  const std::size_t nameBytes = std::strlen(narrow) + 1;
  entry.name.reset(new (std::nothrow) char[nameBytes]);
  entry.value.reset(new (std::nothrow) char16_t[valueUnits + 1]);
  if (entry.name == nullptr || entry.value == nullptr) return E_OUTOFMEMORY;
  std::memcpy(entry.name.get(), narrow, nameBytes);
  std::memcpy(entry.value.get(), value, (valueUnits + 1) * sizeof(char16_t));
  try {
    entries_.reserve(entries_.size() + 1);  // grows by exactly one entry
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  entries_.push_back(std::move(entry));
  return S_OK;
}

const char16_t* ReplacementMap::Find(const char* name) const noexcept {
  for (const Entry& entry : entries_) {
    if (lstrcmpiA(entry.name.get(), name) == 0) return entry.value.get();
  }
  return nullptr;
}

}  // namespace pellmora
