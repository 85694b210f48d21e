#include "support/host/host_text.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "support/host/host_settings.h"
#include "support/host/host_system.h"

namespace {

UINT ResolveCodePage(UINT codePage) {
  if (codePage == CP_ACP) return GetACP();
  if (codePage == CP_THREAD_ACP) {
    const UINT thread = pellmora::host::ThreadCodePage();
    return thread != 0 ? thread : GetACP();
  }
  return codePage;
}

std::string IconvName(UINT codePage) {
  if (codePage == CP_UTF8) return "UTF-8";
  if (codePage == CP_UTF7) return "UTF-7";
  return "CP" + std::to_string(codePage);
}

// An iconv descriptor, closed with its owner.
class Converter {
 public:
  Converter(const std::string& to, const std::string& from) : handle_(iconv_open(to.c_str(), from.c_str())) {}
  ~Converter() {
    if (valid()) iconv_close(handle_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  bool valid() const { return handle_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return handle_; }

 private:
  iconv_t handle_;
};

// Opening a descriptor costs far more than a short conversion, so each thread keeps the ones it
// has used, reset to their initial state for every conversion.
const Converter& CachedConverter(const std::string& to, const std::string& from) {
  thread_local std::map<std::pair<std::string, std::string>, std::unique_ptr<Converter>> cache;
  auto& slot = cache[{to, from}];
  if (!slot) slot = std::make_unique<Converter>(to, from);
  if (slot->valid()) iconv(slot->get(), nullptr, nullptr, nullptr, nullptr);
  return *slot;
}

// Converts `length` bytes at `input` and appends them to `output`. A sequence the converter
// rejects is handed to `onInvalid` with the number of input bytes it spans; it returns false to
// fail the whole conversion.
template <typename OnInvalid>
bool Convert(const Converter& converter, const char* input, size_t length, size_t invalidStep, std::string& output,
             OnInvalid onInvalid) {
  char* in = const_cast<char*>(input);
  size_t inLeft = length;
  char chunk[256];
  while (inLeft > 0) {
    char* out = chunk;
    size_t outLeft = sizeof(chunk);
    const size_t result = iconv(converter.get(), &in, &inLeft, &out, &outLeft);
    output.append(chunk, out - chunk);
    if (result != static_cast<size_t>(-1)) continue;
    if (errno == E2BIG) continue;
    // EILSEQ or EINVAL: an invalid or incomplete sequence at `in`.
    size_t step = invalidStep;
    if (invalidStep == 2 && inLeft >= 4) {
      const auto unit =
          static_cast<uint16_t>(static_cast<unsigned char>(in[0]) | static_cast<unsigned char>(in[1]) << 8);
      const auto next =
          static_cast<uint16_t>(static_cast<unsigned char>(in[2]) | static_cast<unsigned char>(in[3]) << 8);
      if (unit >= 0xD800 && unit < 0xDC00 && next >= 0xDC00 && next < 0xE000) step = 4;
    }
    if (step > inLeft) step = inLeft;
    if (!onInvalid(step, output)) return false;
    in += step;
    inLeft -= step;
    iconv(converter.get(), nullptr, nullptr, nullptr, nullptr);
  }
  // A stateful encoding (UTF-7) ends its last shifted run here.
  char* out = chunk;
  size_t outLeft = sizeof(chunk);
  iconv(converter.get(), nullptr, nullptr, &out, &outLeft);
  output.append(chunk, out - chunk);
  return true;
}

}  // namespace

UINT GetACP() { return pellmora::host::CurrentSettings().ansiCodePage; }

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR source, int sourceBytes, LPWSTR destination, int capacity) {
  if (source == nullptr || sourceBytes == 0 || capacity < 0 || (capacity > 0 && destination == nullptr)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  // The terminator of a text counted by it is added after the conversion: UTF-7 would shift it.
  const size_t length = sourceBytes < 0 ? std::strlen(source) : static_cast<size_t>(sourceBytes);
  const Converter& converter = CachedConverter("UTF-16LE", IconvName(ResolveCodePage(codePage)));
  if (!converter.valid()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::string utf16;
  const bool strict = (flags & MB_ERR_INVALID_CHARS) != 0;
  const bool converted = Convert(converter, source, length, 1, utf16, [strict](size_t, std::string& out) {
    if (strict) return false;
    out.append("\xFD\xFF", 2);  // U+FFFD
    return true;
  });
  if (!converted) {
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return 0;
  }
  if (sourceBytes < 0) utf16.append(2, '\0');
  const int units = static_cast<int>(utf16.size() / 2);
  if (capacity == 0) return units;
  if (units > capacity) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(destination, utf16.data(), utf16.size());
  return units;
}

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR source, int sourceUnits, LPSTR destination, int capacity,
                        LPCSTR defaultChar, LPBOOL usedDefaultChar) {
  const UINT resolved = ResolveCodePage(codePage);
  const bool unicode = resolved == CP_UTF8 || resolved == CP_UTF7;
  if (source == nullptr || sourceUnits == 0 || capacity < 0 || (capacity > 0 && destination == nullptr) ||
      (unicode && (defaultChar != nullptr || usedDefaultChar != nullptr))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  // The Unicode code pages take no flag but WC_ERR_INVALID_CHARS, and only UTF-8 takes that, from
  // Vista (major version 6) on: older systems, and UTF-7 everywhere, refuse it.
  if (unicode && flags != 0 &&
      (resolved == CP_UTF7 || flags != WC_ERR_INVALID_CHARS || pellmora::host::CurrentSettings().majorVersion < 6)) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  size_t units = static_cast<size_t>(sourceUnits);
  if (sourceUnits < 0) {
    units = 0;
    while (source[units] != 0) ++units;
  }
  const Converter& converter = CachedConverter(IconvName(resolved), "UTF-16LE");
  if (!converter.valid()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (usedDefaultChar != nullptr) *usedDefaultChar = FALSE;
  const std::string replacement = unicode ? "\xEF\xBF\xBD" : (defaultChar != nullptr ? defaultChar : "?");
  const bool strict = unicode && (flags & WC_ERR_INVALID_CHARS) != 0;
  std::string narrow;
  const bool converted =
      Convert(converter, reinterpret_cast<const char*>(source), units * 2, 2, narrow, [&](size_t, std::string& out) {
        if (strict) return false;
        out += replacement;
        if (usedDefaultChar != nullptr) *usedDefaultChar = TRUE;
        return true;
      });
  if (!converted) {
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return 0;
  }
  if (sourceUnits < 0) narrow += '\0';
  const int bytes = static_cast<int>(narrow.size());
  if (capacity == 0) return bytes;
  if (bytes > capacity) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(destination, narrow.data(), narrow.size());
  return bytes;
}

BOOL IsDBCSLeadByte(BYTE byte) {
  switch (GetACP()) {
    case 936:  // GBK: lead bytes 0x81 to 0xFE
      return byte >= 0x81 && byte <= 0xFE;
    default:
      return FALSE;
  }
}

LPSTR CharNextA(LPCSTR text) {
  if (*text == '\0') return const_cast<LPSTR>(text);
  if (IsDBCSLeadByte(static_cast<BYTE>(*text)) && text[1] != '\0') return const_cast<LPSTR>(text + 2);
  return const_cast<LPSTR>(text + 1);
}

// Folds A-Z of single-byte characters only: the trail byte of a double-byte character is compared
// as it is, so two different characters never compare equal.
int lstrcmpiA(LPCSTR left, LPCSTR right) {
  auto fold = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; };
  bool trailByte = false;
  for (;; ++left, ++right) {
    const auto l = static_cast<unsigned char>(*left);
    const auto r = static_cast<unsigned char>(*right);
    const int difference = trailByte ? l - r : fold(l) - fold(r);
    if (difference != 0) return difference < 0 ? -1 : 1;
    if (l == 0) return 0;
    trailByte = !trailByte && IsDBCSLeadByte(l);
  }
}

int lstrlenA(LPCSTR text) { return text == nullptr ? 0 : static_cast<int>(std::strlen(text)); }
