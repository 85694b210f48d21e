// One typed value: "=" letter value, written to a key.
#include <cstring>
#include <memory>
#include <new>

#include "registrar/registry_key.h"
#include "registrar/script_parser.h"
#include "registrar/script_tables.h"
#include "support/result_codes.h"
#include "support/scratch_buffer.h"
#include "support/text_conversion.h"
#include "support/wide_text.h"

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

// A decimal number that fits 32 bits; text the conversion rejects is a script error, so that no
// made-up number is ever written.
LONG WriteNumberValue(RegistryKey& key, const char* valueName, const char* value, HRESULT& failure) {
  const std::size_t length = std::strlen(value);
  ScratchBuffer scratch;
  char16_t* wide = scratch.RequestArray<char16_t>(length + 1);
  if (WideFromNarrow(wide, value, static_cast<int>(length + 1), ConversionCodePage()) == nullptr) {
    failure = E_OUTOFMEMORY;
    return ERROR_SUCCESS;
  }
  ULONG number = 0;
  if (FAILED(VarUI4FromStr(PlatformWide(wide), 0, 0, &number))) {
    failure = DISP_E_EXCEPTION;
    return ERROR_SUCCESS;
  }
  return key.WriteDword(valueName, static_cast<DWORD>(number));
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
