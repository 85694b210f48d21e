// Late-bound access. Once the module's type information is loaded, the calls that script hosts
// make most (every member, a text argument in the shapes they pass strings in) are decoded here
// and go straight to the member; every other call is handed, untouched, to the type information,
// which calls back into this object's IConnectionString table. A direct call gives exactly what
// the type information would: the same member, the same result variant, and puArgErr and
// EXCEPINFO left as they were (the type information writes them only for the calls declined
// here), and the result variant of a put or of Reset untouched, as the type information leaves it.
#include "automation/connection_string.h"
#include "automation/text_argument.h"
#include "automation/type_info_cache.h"

namespace pellmora {

namespace {

using Getter = HRESULT (STDMETHODCALLTYPE ConnectionString::*)(BSTR*);
using Putter = HRESULT (STDMETHODCALLTYPE ConnectionString::*)(BSTR);

// The properties by DISPID (1 to 10, as in the type library); the forms have no put.
struct Property {
  Getter get;
  Putter put;
};
const Property kProperties[] = {
    {&ConnectionString::get_UID, &ConnectionString::put_UID},
    {&ConnectionString::get_PassWord, &ConnectionString::put_PassWord},
    {&ConnectionString::get_Catalog, &ConnectionString::put_Catalog},
    {&ConnectionString::get_Provider, &ConnectionString::put_Provider},
    {&ConnectionString::get_DataSource, &ConnectionString::put_DataSource},
    {&ConnectionString::get_Timeout, &ConnectionString::put_Timeout},
    {&ConnectionString::get_CurrentLanguage, &ConnectionString::put_CurrentLanguage},
    {&ConnectionString::get_ODBCString, nullptr},
    {&ConnectionString::get_OleDBString, nullptr},
    {&ConnectionString::get_OleDBString2, nullptr},
};
constexpr DISPID kParse = 11;
constexpr DISPID kReset = 12;
// The parameter of parse by name, as the type information numbers it.
constexpr DISPID kParseParameter = 0;

// A get or a method call as script hosts send it: VBScript asks for both when it cannot tell.
bool IsGetOrCall(WORD flags, WORD wanted) {
  return flags == wanted || flags == (DISPATCH_PROPERTYGET | DISPATCH_METHOD);
}

// The only argument of a call that takes one, positional or named `name`.
const VARIANT* OnlyArgument(const DISPPARAMS& params, DISPID name, bool mustBeNamed) {
  if (params.cArgs != 1 || params.rgvarg == nullptr) return nullptr;
  if (params.cNamedArgs == 0) return mustBeNamed ? nullptr : &params.rgvarg[0];
  if (params.cNamedArgs != 1 || params.rgdispidNamedArgs == nullptr || params.rgdispidNamedArgs[0] != name) {
    return nullptr;
  }
  return &params.rgvarg[0];
}

bool TakesNoArgument(const DISPPARAMS& params) { return params.cArgs == 0 && params.cNamedArgs == 0; }

// A member that fails is not reported here: the call is declined and the type information calls
// the member again and reports the failure its own way (every member leaves the object as it was
// on failure, or can be repeated: the second call gives what one call would).
bool DirectInvoke(void* instance, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, HRESULT* outcome) {
  if (params == nullptr) return false;
  auto* object = static_cast<ConnectionString*>(static_cast<IConnectionString*>(instance));
  constexpr DISPID kPropertyCount = static_cast<DISPID>(sizeof kProperties / sizeof kProperties[0]);

  if (id >= 1 && id <= kPropertyCount) {
    const Property& property = kProperties[id - 1];
    if (IsGetOrCall(flags, DISPATCH_PROPERTYGET) && TakesNoArgument(*params)) {
      BSTR value = nullptr;
      if (FAILED((object->*property.get)(&value))) return false;
      if (result != nullptr) {
        result->vt = VT_BSTR;
        result->bstrVal = value;
      } else {
        SysFreeString(value);
      }
      *outcome = S_OK;
      return true;
    }
    if (flags != DISPATCH_PROPERTYPUT || property.put == nullptr) return false;
    const VARIANT* argument = OnlyArgument(*params, DISPID_PROPERTYPUT, /*mustBeNamed=*/true);
    BSTR text = nullptr;
    if (argument == nullptr || !TextArgument(*argument, &text)) return false;
    if (FAILED((object->*property.put)(text))) return false;
    *outcome = S_OK;
    return true;
  }
  if (id == kParse && IsGetOrCall(flags, DISPATCH_METHOD)) {
    const VARIANT* argument = OnlyArgument(*params, kParseParameter, /*mustBeNamed=*/false);
    BSTR text = nullptr;
    if (argument == nullptr || !TextArgument(*argument, &text)) return false;
    VARIANT_BOOL succeeded = VARIANT_FALSE;
    if (FAILED(object->parse(text, &succeeded))) return false;
    if (result != nullptr) {
      result->vt = VT_BOOL;
      result->boolVal = succeeded;
    }
    *outcome = S_OK;
    return true;
  }
  if (id == kReset && IsGetOrCall(flags, DISPATCH_METHOD) && TakesNoArgument(*params)) {
    object->Reset();
    *outcome = S_OK;
    return true;
  }
  return false;
}

}  // namespace

HRESULT ConnectionString::GetTypeInfoCount(UINT* count) noexcept {
  if (count == nullptr) return E_POINTER;
  *count = 1;
  return S_OK;
}

// Every index names the one type information there is.
HRESULT ConnectionString::GetTypeInfo(UINT /*index*/, LCID lcid, ITypeInfo** info) noexcept {
  return ConnectionStringTypeInfo().GetTypeInfo(lcid, info);
}

HRESULT ConnectionString::GetIDsOfNames(REFIID /*iid*/, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) noexcept {
  return ConnectionStringTypeInfo().GetIDsOfNames(names, count, lcid, ids);
}

HRESULT ConnectionString::Invoke(DISPID id, REFIID /*iid*/, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                                 EXCEPINFO* exception, UINT* argumentError) noexcept {
  return ConnectionStringTypeInfo().Invoke(static_cast<IConnectionString*>(this), id, lcid, flags, params, result,
                                           exception, argumentError, &DirectInvoke);
}

}  // namespace pellmora
