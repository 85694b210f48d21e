// One typed value: "=" letter value, written to a key.
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "registrar/registry_key.h"
#include "registrar/script_parser.h"
#include "registrar/script_tables.h"
#include "support/result_codes.h"

namespace pellmora {

namespace {

// A byte buffer inside the caller's frame when small, on the heap otherwise.
class ValueBuffer {
 public:
  static constexpr std::size_t kInline = 256;
  explicit ValueBuffer(std::size_t bytes) noexcept {
    if (bytes <= kInline) {
      data_ = inline_;
    } else {
      heap_.reset(new (std::nothrow) BYTE[bytes]);
      data_ = heap_.get();
    }
  }
  BYTE* Get() noexcept { return data_; }

 private:
  BYTE inline_[kInline];
  std::unique_ptr<BYTE[]> heap_;
  BYTE* data_ = nullptr;
};

BYTE DigitValue(char c) {
  if (c >= '0' && c <= '9') return static_cast<BYTE>(c - '0');
  if (c >= 'A' && c <= 'F') return static_cast<BYTE>(c - 'A' + 10);
  if (c >= 'a' && c <= 'f') return static_cast<BYTE>(c - 'a' + 10);
  return 0;  // any other character counts as the digit 0
}

// Hexadecimal digits, two per byte, high nibble first.
LONG WriteBytesValue(RegistryKey& key, const char* valueName, const char* value, HRESULT& failure) {
  const std::size_t length = std::strlen(value);
  if (length % 2 != 0) {
    failure = E_FAIL;
    return ERROR_SUCCESS;
  }
  ValueBuffer buffer(length / 2);
  if (buffer.Get() == nullptr) {
    failure = E_FAIL;
    return ERROR_SUCCESS;
  }
  std::memset(buffer.Get(), 0, length / 2);
  for (std::size_t i = 0; i < length; ++i) {
    buffer.Get()[i / 2] |= static_cast<BYTE>(DigitValue(value[i]) << (i % 2 == 0 ? 4 : 0));
  }
  return key.WriteBytes(valueName, buffer.Get(), static_cast<DWORD>(length / 2));
}

// Items separated by the two characters "\0"; the list ends with an empty item.
LONG WriteMultiTextValue(RegistryKey& key, const char* valueName, const char* value, HRESULT& failure) {
  const std::size_t length = std::strlen(value);
  ValueBuffer buffer(length + 2);
  if (buffer.Get() == nullptr) {
    failure = E_OUTOFMEMORY;
    return ERROR_SUCCESS;
  }
  auto* out = reinterpret_cast<char*>(buffer.Get());
  std::size_t used = 0;
  for (const char* c = value; *c != '\0';) {
    if (c[0] == '\\' && c[1] == '0') {
      out[used++] = '\0';
      c += 2;
      continue;
    }
    const char* next = CharNextA(c);  // a lead byte with its trail byte, never past the end
    while (c != next) out[used++] = *c++;
  }
  out[used++] = '\0';
  out[used] = '\0';
  return key.WriteMultiText(valueName, out);
}

// Decimal digits only, and a number that fits 32 bits; anything else is a script error, so that no
// made-up number is ever written. The same rule on every build: a general number conversion would
// also take signs, blanks, fractions (rounded), hexadecimal and thousands separators.
bool ParseNumber(const char* text, DWORD& number) {
  if (*text == '\0') return false;
  std::uint64_t value = 0;
  for (; *text != '\0'; ++text) {
    if (*text < '0' || *text > '9') return false;
    value = value * 10 + static_cast<std::uint64_t>(*text - '0');
    if (value > 0xFFFFFFFFu) return false;
  }
  number = static_cast<DWORD>(value);
  return true;
}

LONG WriteNumberValue(RegistryKey& key, const char* valueName, const char* value, HRESULT& failure) {
  DWORD number = 0;
  if (!ParseNumber(value, number)) {
    failure = DISP_E_EXCEPTION;
    return ERROR_SUCCESS;
  }
  return key.WriteDword(valueName, number);
}

}  // namespace

HRESULT ScriptParser::WriteValue(HKEY key, const char* valueName, char* token) noexcept {
  char value[kTokenCapacity];
  HRESULT result = ReadToken(value);
  if (FAILED(result)) return result;
  const ValueType* type = FindValueType(value);
  if (type == nullptr) return DISP_E_EXCEPTION;
  SkipSpace();
  result = ReadToken(value);
  if (FAILED(result)) return result;

  RegistryKey target;
  target.Borrow(key);
  HRESULT failure = S_OK;
  LONG code = ERROR_SUCCESS;
  switch (type->kind) {
    case ValueKind::Text:
      code = target.WriteText(valueName, value, type->registryType);
      break;
    case ValueKind::Number:
      code = WriteNumberValue(target, valueName, value, failure);
      break;
    case ValueKind::Bytes:
      code = WriteBytesValue(target, valueName, value, failure);
      break;
    case ValueKind::MultiText:
      code = WriteMultiTextValue(target, valueName, value, failure);
      break;
  }
  if (FAILED(failure)) return failure;
  if (code != ERROR_SUCCESS) return ResultFromWin32(code);
  return ReadToken(token);
}

}  // namespace pellmora
