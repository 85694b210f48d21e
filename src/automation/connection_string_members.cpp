// The members of IConnectionString: each moves text between automation strings and the record
// and calls the parser or a builder.
#include <string>

#include "automation/connection_string.h"
#include "support/call_boundary.h"
#include "support/wide_text.h"

namespace pellmora {

namespace {

// The text of an incoming automation string up to its first NUL; a null string is empty.
std::u16string IncomingText(BSTR value) {
  if (value == nullptr) return {};
  return std::u16string(PortableWide(value));
}

// Hands `text` to the caller as a new automation string of exactly its length.
HRESULT HandOut(const std::u16string& text, BSTR* out) noexcept {
  if (out == nullptr) return E_POINTER;
  BSTR copy = SysAllocStringLen(PlatformWide(text.data()), static_cast<UINT>(text.size()));
  if (copy == nullptr) return E_OUTOFMEMORY;
  *out = copy;
  return S_OK;
}

HRESULT GetField(const std::u16string& field, BSTR* out) noexcept { return HandOut(field, out); }

// The new text is complete before the field changes, so a failure leaves the old text.
HRESULT PutField(std::u16string& field, BSTR value) noexcept {
  return ResultOfCall([&] {
    field = IncomingText(value);
    return S_OK;
  });
}

template <class Build>
HRESULT GetForm(Build build, BSTR* out) noexcept {
  if (out == nullptr) return E_POINTER;
  return ResultOfCall([&] { return HandOut(build(), out); });
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
HRESULT ConnectionString::get_CurrentLanguage(BSTR* pVal) noexcept {
  return GetField(settings_.CurrentLanguage, pVal);
}
HRESULT ConnectionString::put_CurrentLanguage(BSTR value) noexcept {
  return PutField(settings_.CurrentLanguage, value);
}

HRESULT ConnectionString::get_ODBCString(BSTR* pVal) noexcept {
  return GetForm([this] { return settings_.ODBCString(); }, pVal);
}
HRESULT ConnectionString::get_OleDBString(BSTR* pVal) noexcept {
  return GetForm([this] { return settings_.OleDBString(); }, pVal);
}
HRESULT ConnectionString::get_OleDBString2(BSTR* pVal) noexcept {
  return GetForm([this] { return settings_.OleDBString2(); }, pVal);
}

HRESULT ConnectionString::parse(BSTR strConnection, VARIANT_BOOL* bSucc) noexcept {
  if (bSucc == nullptr) return E_POINTER;
  return ResultOfCall([&] {
    settings_.parse(IncomingText(strConnection));
    *bSucc = VARIANT_TRUE;
    return S_OK;
  });
}

HRESULT ConnectionString::Reset() noexcept {
  settings_.Reset();
  return S_OK;
}

}  // namespace pellmora
