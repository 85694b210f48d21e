// The core of a ConnectionString object: the members of IConnectionString over one
// ConnectionSettings record, late-bound dispatch through the module's type information, and the
// error-information query. How the object is counted and held (standalone or inside an
// aggregate) is left to the shells in connection_string_shells.h.
#pragma once

#include "automation/interface_table.h"
#include "automation/pellmora_lib.h"
#include "model/connection_settings.h"
#include "support/platform.h"

namespace pellmora {

class ConnectionString : public ISupportErrorInfo, public IConnectionString {
 public:
  // Rows: IConnectionString, IDispatch (both the IConnectionString entry point, which is also
  // the object's identity), ISupportErrorInfo.
  static const InterfaceEntry* Interfaces() noexcept;

  // ISupportErrorInfo: S_OK for IConnectionString, S_FALSE for every other interface.
  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) noexcept override;

  // IDispatch, answered by the module-wide type information of IConnectionString.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) noexcept override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) noexcept override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid,
                                          DISPID* ids) noexcept override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO* exception, UINT* argumentError) noexcept override;

  // IConnectionString. A get hands out a new automation string (never null); a put stores the
  // text up to its first NUL (a null string is the empty text). A null out-pointer gives
  // E_POINTER with nothing written; exhausted memory gives E_OUTOFMEMORY with nothing changed.
  HRESULT STDMETHODCALLTYPE get_UID(BSTR* pVal) noexcept override;
  HRESULT STDMETHODCALLTYPE put_UID(BSTR value) noexcept override;
  HRESULT STDMETHODCALLTYPE get_PassWord(BSTR* pVal) noexcept override;
  HRESULT STDMETHODCALLTYPE put_PassWord(BSTR value) noexcept override;
  HRESULT STDMETHODCALLTYPE get_Catalog(BSTR* pVal) noexcept override;
  HRESULT STDMETHODCALLTYPE put_Catalog(BSTR value) noexcept override;
  HRESULT STDMETHODCALLTYPE get_Provider(BSTR* pVal) noexcept override;
  HRESULT STDMETHODCALLTYPE put_Provider(BSTR value) noexcept override;
  HRESULT STDMETHODCALLTYPE get_DataSource(BSTR* pVal) noexcept override;
  HRESULT STDMETHODCALLTYPE put_DataSource(BSTR value) noexcept override;
  HRESULT STDMETHODCALLTYPE get_Timeout(BSTR* pVal) noexcept override;
  HRESULT STDMETHODCALLTYPE put_Timeout(BSTR value) noexcept override;
  HRESULT STDMETHODCALLTYPE get_CurrentLanguage(BSTR* pVal) noexcept override;
  HRESULT STDMETHODCALLTYPE put_CurrentLanguage(BSTR value) noexcept override;
  HRESULT STDMETHODCALLTYPE get_ODBCString(BSTR* pVal) noexcept override;
  HRESULT STDMETHODCALLTYPE get_OleDBString(BSTR* pVal) noexcept override;
  HRESULT STDMETHODCALLTYPE get_OleDBString2(BSTR* pVal) noexcept override;
  // Always reports success (VARIANT_TRUE) for any text, however malformed.
  HRESULT STDMETHODCALLTYPE parse(BSTR strConnection, VARIANT_BOOL* bSucc) noexcept override;
  HRESULT STDMETHODCALLTYPE Reset() noexcept override;

 protected:
  ConnectionString() = default;
  virtual ~ConnectionString() = default;

 private:
  ConnectionSettings settings_;
};

}  // namespace pellmora
