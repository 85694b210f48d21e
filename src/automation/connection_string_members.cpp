// The members of IConnectionString: each moves text between automation strings and the record
// and calls the parser or a builder.
#include <string>

#include "automation/connection_string.h"
#include "model/builders.h"
#include "support/call_boundary.h"
#include "support/wide_text.h"

namespace pellmora {

namespace {

// The text of an incoming automation string up to its first NUL; a null string is empty.
std::u16string_view IncomingText(BSTR value) {
  if (value == nullptr) return {};
  return std::u16string_view(PortableWide(value));
}

// The longest text an automation string can hold: its length prefix counts bytes in 32 bits.
constexpr size_t kLongestHandOut = 0x7FFFFFF0 / sizeof(OLECHAR);

// Hands the caller a new automation string of exactly `length` units, filled by `write`.
template <class Write>
HRESULT HandOut(size_t length, Write write, BSTR* out) noexcept {
  if (out == nullptr) return E_POINTER;
  if (length > kLongestHandOut) return E_OUTOFMEMORY;
  BSTR text = SysAllocStringLen(nullptr, static_cast<UINT>(length));
  if (text == nullptr) return E_OUTOFMEMORY;
  write(PortableWide(text));
  *out = text;
  return S_OK;
}

HRESULT GetField(const std::u16string& field, BSTR* out) noexcept {
  return HandOut(
      field.size(), [&](char16_t* text) { field.copy(text, field.size()); }, out);
}

// Copied into the field's own storage when it has room; otherwise the new storage is complete
// before the field changes, so a failure leaves the old text.
HRESULT PutField(std::u16string& field, BSTR value) noexcept {
  return ResultOfCall([&] {
    field.assign(IncomingText(value));
    return S_OK;
  });
}

// The form is measured, then written straight into the automation string handed out: no copy
// of it is made on the way.
HRESULT GetForm(const ConnectionSettings& settings, FormKind kind, BSTR* out) noexcept {
  if (out == nullptr) return E_POINTER;
  return ResultOfCall([&] {
    const FormWriter form(settings, kind);
    return HandOut(
        form.Length(), [&](char16_t* text) { form.WriteTo(text); }, out);
  });
}

}  // namespace

HRESULT ConnectionString::get_UID(BSTR* pVal) noexcept { return GetField(settings_.UID, pVal); }
HRESULT ConnectionString::put_UID(BSTR value) noexcept { return PutField(settings_.UID, value); }
HRESULT ConnectionString::get_PassWord(BSTR* pVal) noexcept { return GetField(settings_.PassWord, pVal); }
HRESULT ConnectionString::put_PassWord(BSTR value) noexcept { return PutField(settings_.PassWord, value); }
HRESULT ConnectionString::get_Catalog(BSTR* pVal) noexcept { return GetField(settings_.Catalog, pVal); }
HRESULT ConnectionString::put_Catalog(BSTR value) noexcept { return PutField(settings_.Catalog, value); }
HRESULT ConnectionString::get_Provider(BSTR* pVal) noexcept { return GetField(settings_.Provider, pVal); }
HRESULT ConnectionString::put_Provider(BSTR value) noexcept { return PutField(settings_.Provider, value); }
HRESULT ConnectionString::get_DataSource(BSTR* pVal) noexcept { return GetField(settings_.DataSource, pVal); }
HRESULT ConnectionString::put_DataSource(BSTR value) noexcept { return PutField(settings_.DataSource, value); }
HRESULT ConnectionString::get_Timeout(BSTR* pVal) noexcept { return GetField(settings_.Timeout, pVal); }
HRESULT ConnectionString::put_Timeout(BSTR value) noexcept { return PutField(settings_.Timeout, value); }
HRESULT ConnectionString::get_CurrentLanguage(BSTR* pVal) noexcept { return GetField(settings_.CurrentLanguage, pVal); }
HRESULT ConnectionString::put_CurrentLanguage(BSTR value) noexcept {
  return PutField(settings_.CurrentLanguage, value);
}

HRESULT ConnectionString::get_ODBCString(BSTR* pVal) noexcept { return GetForm(settings_, FormKind::kODBC, pVal); }
HRESULT ConnectionString::get_OleDBString(BSTR* pVal) noexcept { return GetForm(settings_, FormKind::kOleDB, pVal); }
HRESULT ConnectionString::get_OleDBString2(BSTR* pVal) noexcept { return GetForm(settings_, FormKind::kOleDB2, pVal); }

// The incoming text is read in place up to its first NUL, never by the string's length prefix:
// callers that pass a plain zero-terminated wide string keep working.
HRESULT ConnectionString::parse(BSTR strConnection, VARIANT_BOOL* bSucc) noexcept {
  if (bSucc == nullptr) return E_POINTER;
  return ResultOfCall([&] {
    settings_.ParseTerminated(PortableWide(strConnection));
    *bSucc = VARIANT_TRUE;
    return S_OK;
  });
}

HRESULT ConnectionString::Reset() noexcept {
  settings_.Reset();
  return S_OK;
}

}  // namespace pellmora
