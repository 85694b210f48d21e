#include "fuzz_call.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace pellmora::testing {

namespace {

// splitmix64: small, fast, and every state gives a good stream.
class Random {
 public:
  explicit Random(uint64_t state) : state_(state) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  uint32_t Below(uint32_t count) { return static_cast<uint32_t>(Next() % count); }
  bool OneIn(uint32_t count) { return Below(count) == 0; }
  template <class T, size_t N>
  const T& Pick(const T (&items)[N]) {
    return items[Below(N)];
  }

 private:
  uint64_t state_;
};

// Every type the platform defines, a VARIANT's or a property variant's, and two it does not.
const VARTYPE kTypes[] = {VT_EMPTY,
                          VT_NULL,
                          VT_I2,
                          VT_I4,
                          VT_R4,
                          VT_R8,
                          VT_CY,
                          VT_DATE,
                          VT_BSTR,
                          VT_DISPATCH,
                          VT_ERROR,
                          VT_BOOL,
                          VT_VARIANT,
                          VT_UNKNOWN,
                          VT_DECIMAL,
                          VT_I1,
                          VT_UI1,
                          VT_UI2,
                          VT_UI4,
                          VT_I8,
                          VT_UI8,
                          VT_INT,
                          VT_UINT,
                          VT_VOID,
                          VT_HRESULT,
                          VT_PTR,
                          VT_SAFEARRAY,
                          VT_CARRAY,
                          VT_USERDEFINED,
                          VT_LPSTR,
                          VT_LPWSTR,
                          VT_RECORD,
                          VT_INT_PTR,
                          VT_UINT_PTR,
                          VT_FILETIME,
                          VT_BLOB,
                          VT_STREAM,
                          VT_STORAGE,
                          VT_STREAMED_OBJECT,
                          VT_STORED_OBJECT,
                          VT_BLOB_OBJECT,
                          VT_CF,
                          VT_CLSID,
                          VT_VERSIONED_STREAM,
                          VT_BSTR_BLOB,
                          15,
                          0x7FF};
// The string shapes script hosts pass, made likelier so that the members see many texts.
const VARTYPE kLikelyTypes[] = {VT_BSTR, VT_BSTR,    VT_I4,       VT_I2,    VT_R8,   VT_BOOL,
                                VT_DATE, VT_VARIANT, VT_DISPATCH, VT_EMPTY, VT_NULL, VT_ERROR};

const wchar_t* const kTexts[] = {
    L"",
    L"Server=s;uid=u;Database='d''b'",
    L"Provider=SQLOLEDB;Data Source=server01;Initial Catalog=sales;User ID=app;Password=secret;"
    L"Connect Timeout=30;Current Language=english",
    L"pwd=\"a;b\"\"c\";App Name=x",
    L"=;;==';\"",
    L"30",
    L"-1",
    L"True",
    L"3,5",
    L"uid='unterminated",
    L"\x6570\x636E\x5E93=\xD83D\xDE00;\xDC00",
};

// Member and parameter names, and names that are close to them.
const wchar_t* const kNames[] = {L"UID",
                                 L"PassWord",
                                 L"Catalog",
                                 L"Provider",
                                 L"DataSource",
                                 L"Timeout",
                                 L"CurrentLanguage",
                                 L"ODBCString",
                                 L"OleDBString",
                                 L"OleDBString2",
                                 L"parse",
                                 L"Reset",
                                 L"strConnection",
                                 L"pVal",
                                 L"",
                                 L"Timeou",
                                 L"Timeout2",
                                 L"T\x0131meout",
                                 L"\xFF35\xFF29\xFF24",
                                 L"IConnectionString",
                                 L"QueryInterface",
                                 L"Invoke"};

const DISPID kDispids[] = {1,          2,         3,  4,  5,  6,          7,
                           8,          9,         10, 11, 12, 0,          -1,
                           -3,         -4,        -5, 13, 99, 0x7FFFFFFF, static_cast<DISPID>(0x80000000),
                           0x60020000, 0x60010000};
const DISPID kNamedDispids[] = {DISPID_PROPERTYPUT, DISPID_PROPERTYPUT, 0, 0, 1, -1, 7, 11, 0x7FFFFFFF};
const WORD kFlags[] = {DISPATCH_PROPERTYGET,
                       DISPATCH_METHOD,
                       DISPATCH_PROPERTYGET | DISPATCH_METHOD,
                       DISPATCH_PROPERTYPUT,
                       DISPATCH_PROPERTYPUTREF,
                       DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF,
                       DISPATCH_METHOD | DISPATCH_PROPERTYPUT};
const LCID kLocales[] = {0, LOCALE_USER_DEFAULT, LOCALE_SYSTEM_DEFAULT, 0x409, 0x407, 0x40C, 0x804, 0x12345678};

// Values of the numeric types that conversions treat specially.
const uint64_t kBits[] = {0,
                          1,
                          ~0ull,
                          0x8000000000000000ull,
                          0x7FF0000000000000ull /* +inf */,
                          0x7FF8000000000000ull /* NaN */,
                          0x41DFFFFFFFC00000ull /* 2^31-1 */,
                          0x3FF8000000000000ull /* 1.5 */,
                          0x40E5F5E100000000ull /* a date */,
                          0xFFFF,
                          0x7FFF};

}  // namespace

struct FuzzCall::Cell {
  alignas(16) unsigned char bytes[64] = {};
};

// ---- the object argument ----

HRESULT ProbeObject::QueryInterface(REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)) {
    *out = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}
HRESULT ProbeObject::GetTypeInfoCount(UINT* count) {
  if (count == nullptr) return E_POINTER;
  *count = 0;
  return S_OK;
}
HRESULT ProbeObject::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info != nullptr) *info = nullptr;
  return DISP_E_BADINDEX;
}
HRESULT ProbeObject::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) { return DISP_E_UNKNOWNNAME; }
HRESULT ProbeObject::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                            UINT*) {
  if (id != DISPID_VALUE || (flags & DISPATCH_PROPERTYGET) == 0) return DISP_E_MEMBERNOTFOUND;
  if (params == nullptr || params->cArgs != 0) return DISP_E_BADPARAMCOUNT;
  if (result == nullptr) return S_OK;
  result->vt = VT_BSTR;
  result->bstrVal = SysAllocString(L"uid=from an object");
  return result->bstrVal != nullptr ? S_OK : E_OUTOFMEMORY;
}

// ---- building a call ----

class FuzzCall::Builder {
 public:
  Builder(FuzzCall& call, Random& random, std::string* log) : call_(call), random_(random), log_(log) {}

  void Invoke() {
    call_.id = random_.OneIn(3) ? static_cast<DISPID>(random_.Next()) : random_.Pick(kDispids);
    if (random_.OneIn(3)) call_.id = random_.Below(13);
    const uint32_t flagChoice = random_.Below(10);
    call_.flags =
        flagChoice < 7 ? random_.Pick(kFlags) : static_cast<WORD>(flagChoice < 9 ? random_.Below(16) : random_.Next());
    call_.lcid = random_.Pick(kLocales);
    Log("Invoke DISPID %ld flags %#x lcid %#lx", static_cast<long>(call_.id), call_.flags,
        static_cast<unsigned long>(call_.lcid));

    // Every slot of the arrays holds a valid variant and name, so that counts larger than the
    // arguments meant (up to the capacity) read nothing undefined.
    const UINT meant = random_.OneIn(5) ? random_.Below(kCapacity + 1) : random_.Below(3);
    for (UINT n = 0; n < kCapacity; ++n) {
      if (n < meant) Log("\n  argument %u: ", n);
      Variant(call_.arguments_[n], 0, n < meant);
      call_.namedArguments_[n] = random_.Pick(kNamedDispids);
    }
    UINT count = meant;
    if (random_.OneIn(8)) count = random_.Below(kCapacity + 1);
    UINT named = random_.OneIn(2) ? 0 : random_.OneIn(4) ? random_.Below(kCapacity + 1) : (count != 0 ? 1 : 0);
    call_.params_ = {call_.arguments_, call_.namedArguments_, count, named};
    // Null arrays only where nothing is counted in them: the type information alone reads a null
    // argument or name array whose count is not 0 (an access violation under Wine 8).
    if (count == 0 && random_.OneIn(10)) call_.params_.rgvarg = nullptr;
    if (named == 0 && random_.OneIn(10)) call_.params_.rgdispidNamedArgs = nullptr;
    call_.withoutParams_ = random_.OneIn(30);
    Log("\n  cArgs %u cNamedArgs %u%s%s%s", count, named, call_.params_.rgvarg == nullptr ? " rgvarg null" : "",
        call_.params_.rgdispidNamedArgs == nullptr ? " names null" : "", call_.withoutParams_ ? " no DISPPARAMS" : "");
    for (UINT n = 0; n < named && n < kCapacity; ++n) Log(" name %ld", static_cast<long>(call_.namedArguments_[n]));

    // A result variant that holds something the callee may overwrite (no resource, so nothing is
    // lost when it does), an empty one, or none.
    call_.withResult_ = !random_.OneIn(4);
    call_.result_.vt = random_.OneIn(2) ? VT_EMPTY : VT_I4;
    call_.result_.lVal = 0x5151;
    call_.withException_ = random_.OneIn(2);
    call_.exception_.wCode = 77;
    call_.exception_.scode = 0x1234;
    call_.withArgumentError_ = random_.OneIn(2);
    call_.argumentError_ = 0xDEAD;
    Log("\n  result %s, EXCEPINFO %s, puArgErr %s\n", call_.withResult_ ? "given" : "null",
        call_.withException_ ? "given" : "null", call_.withArgumentError_ ? "given" : "null");
  }

  void NameLookup() {
    call_.nameLookup_ = true;
    call_.lcid = random_.Pick(kLocales);
    call_.nameCount_ = random_.OneIn(4) ? random_.Below(kCapacity + 1) : 1;
    call_.nameTexts_.reserve(kCapacity);
    Log("GetIDsOfNames lcid %#lx count %u:", static_cast<unsigned long>(call_.lcid), call_.nameCount_);
    for (UINT n = 0; n < kCapacity; ++n) {
      std::wstring name = random_.Pick(kNames);
      if (random_.OneIn(2)) {
        for (wchar_t& unit : name) {
          const bool letter = (unit | 0x20) >= L'a' && (unit | 0x20) <= L'z';
          if (letter && random_.OneIn(2)) unit = static_cast<wchar_t>(unit ^ 0x20);
        }
      }
      if (random_.OneIn(10)) {
        name.clear();
        for (uint32_t length = random_.Below(8); length != 0; --length) {
          name += static_cast<wchar_t>(1 + random_.Below(0xFFFF));
        }
      }
      call_.nameTexts_.push_back(name);
      call_.names_[n] = random_.OneIn(30) ? nullptr : call_.nameTexts_.back().data();
      call_.ids_[n] = 12345;
      if (n < call_.nameCount_) Log(" [%ls]%s", name.c_str(), call_.names_[n] == nullptr ? " (null)" : "");
    }
    call_.withNames_ = !random_.OneIn(30);
    call_.withIds_ = !random_.OneIn(30);
    Log("%s%s\n", call_.withNames_ ? "" : " names null", call_.withIds_ ? "" : " ids null");
  }

 private:
  void Log(const char* format, ...) {
    if (log_ == nullptr) return;
    char line[512];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(line, sizeof line, format, arguments);
    va_end(arguments);
    *log_ += line;
  }

  BSTR Text() {
    BSTR text;
    if (random_.OneIn(6)) {
      text = nullptr;
    } else if (random_.OneIn(8)) {
      // Any units, a NUL among them at times.
      const UINT length = random_.Below(12);
      text = SysAllocStringLen(nullptr, length);
      for (UINT n = 0; n < length; ++n)
        text[n] = static_cast<OLECHAR>(random_.Below(4) == 0 ? random_.Below(0x80) : random_.Next());
    } else {
      text = SysAllocString(random_.Pick(kTexts));
    }
    if (text != nullptr) call_.strings_.push_back(text);
    Log(text == nullptr ? "null string" : "string[%u]", SysStringLen(text));
    return text;
  }

  Cell* NewCell() {
    call_.cells_.push_back(std::make_unique<Cell>());
    return call_.cells_.back().get();
  }

  IDispatch* Object() {
    if (random_.OneIn(3)) {
      Log("null object");
      return nullptr;
    }
    Log("object");
    return &call_.probe_;
  }

  // Left out: a scale above 28 or a sign other than 0 and DECIMAL_NEG, which the type information
  // alone faults on when it converts the value to text (under Wine 8).
  DECIMAL Decimal() {
    DECIMAL value = {};
    value.scale = static_cast<BYTE>(random_.Below(29));
    value.sign = static_cast<BYTE>(random_.OneIn(2) ? DECIMAL_NEG : 0);
    value.Hi32 = random_.OneIn(2) ? 0 : static_cast<ULONG>(random_.Next());
    value.Lo64 = random_.OneIn(2) ? random_.Pick(kBits) : random_.Next();
    Log("decimal");
    return value;
  }

  // A vector of `type` with a few elements (of another type at times), or null.
  SAFEARRAY* Array(VARTYPE type, int depth) {
    if (random_.OneIn(4)) {
      Log("null array");
      return nullptr;
    }
    VARTYPE elementType = random_.OneIn(8) ? random_.Pick(kTypes) : type;
    // No record arrays: they need type information of a record.
    if (elementType == VT_RECORD) elementType = VT_I4;
    const ULONG count = random_.Below(4);
    SAFEARRAY* array = SafeArrayCreateVector(elementType, 0, count);
    if (array == nullptr) {
      Log("array of %u (not creatable)", elementType);
      return nullptr;
    }
    call_.arrays_.push_back(array);
    Log("array of %u {", elementType);
    for (LONG n = 0; n < static_cast<LONG>(count); ++n) {
      Log(n == 0 ? "" : ", ");
      if (elementType == VT_BSTR) {
        SafeArrayPutElement(array, &n, Text());
      } else if (elementType == VT_DISPATCH || elementType == VT_UNKNOWN) {
        SafeArrayPutElement(array, &n, Object());
      } else if (elementType == VT_VARIANT) {
        VARIANT element;
        Variant(element, depth + 1, true);
        SafeArrayPutElement(array, &n, &element);  // copies it; what it points at is the call's
      } else {
        Cell* cell = NewCell();
        for (unsigned char& byte : cell->bytes) byte = static_cast<unsigned char>(random_.Next());
        if (elementType == VT_DECIMAL) *reinterpret_cast<DECIMAL*>(cell->bytes) = Decimal();
        SafeArrayPutElement(array, &n, cell->bytes);
        Log("value");
      }
    }
    Log("}");
    return array;
  }

  // What a by-reference argument of `type` points at.
  void* Referenced(VARTYPE type, int depth) {
    Cell* cell = NewCell();
    switch (type) {
      case VT_BSTR:
        *reinterpret_cast<BSTR*>(cell->bytes) = Text();
        break;
      case VT_DISPATCH:
      case VT_UNKNOWN:
        *reinterpret_cast<IDispatch**>(cell->bytes) = Object();
        break;
      case VT_VARIANT:
        Variant(*reinterpret_cast<VARIANT*>(cell->bytes), depth + 1, true);
        break;
      case VT_DECIMAL:
        *reinterpret_cast<DECIMAL*>(cell->bytes) = Decimal();
        break;
      case VT_RECORD:
        Log("zeros");
        break;
      default:
        if (random_.OneIn(3)) {
          Log("zeros");
        } else {
          *reinterpret_cast<uint64_t*>(cell->bytes) = random_.OneIn(2) ? random_.Pick(kBits) : random_.Next();
          Log("bits %llx", static_cast<unsigned long long>(*reinterpret_cast<uint64_t*>(cell->bytes)));
        }
    }
    return cell->bytes;
  }

  // Fills `value` with a generated argument; `logged` says whether the caller wants it described.
  void Variant(VARIANT& value, int depth, bool logged) {
    std::string* const log = log_;
    if (!logged) log_ = nullptr;
    std::memset(&value, 0, sizeof value);
    VARTYPE type = random_.OneIn(2) ? random_.Pick(kLikelyTypes) : random_.Pick(kTypes);
    const uint32_t modifier = random_.Below(16);
    VARTYPE modifiers = 0;
    if (modifier >= 9) modifiers = VT_BYREF;
    if (modifier == 12 || modifier == 13) modifiers = VT_ARRAY;
    if (modifier == 14) modifiers = VT_ARRAY | VT_BYREF;
    if (modifier == 15) modifiers = random_.OneIn(2) ? VT_VECTOR : VT_VECTOR | VT_BYREF;
    // By-reference variants chain up to three deep: a script variable holding a reference.
    if (depth >= 3 && type == VT_VARIANT) type = VT_BSTR;
    if (depth < 3 && random_.OneIn(6)) type = VT_VARIANT, modifiers = VT_BYREF;
    Log("vt %#x ", type | modifiers);
    switch (modifiers) {
      case VT_BYREF:
        // Left out: a null reference inside a variant by reference, which the type information
        // alone follows (an access violation under Wine 8).
        if (depth == 0 && random_.OneIn(6)) {
          Log("null reference");
        } else {
          Log("-> ");
          value.byref = Referenced(type, depth);
        }
        break;
      case VT_ARRAY:
        value.parray = Array(type, depth);
        break;
      case VT_ARRAY | VT_BYREF: {
        Cell* cell = NewCell();
        *reinterpret_cast<SAFEARRAY**>(cell->bytes) = Array(type, depth);
        value.byref = cell->bytes;
        break;
      }
      case 0:
        Plain(value, type);
        break;
      default:
        // Vectors belong to property variants; a VARIANT carries only their null or zeroed header.
        value.byref = random_.OneIn(2) ? nullptr : NewCell()->bytes;
        Log(value.byref == nullptr ? "null" : "zeros");
    }
    value.vt = type | modifiers;
    log_ = log;
  }

  void Plain(VARIANT& value, VARTYPE type) {
    switch (type) {
      case VT_BSTR:
        value.bstrVal = Text();
        break;
      case VT_DISPATCH:
      case VT_UNKNOWN:
        value.pdispVal = Object();
        break;
      case VT_DECIMAL:
        value.decVal = Decimal();
        break;
      case VT_EMPTY:
      case VT_NULL:
        Log("-");
        break;
      case VT_RECORD:
        Log("no record");
        break;
      // Types that hold a pointer, or that a VARIANT cannot carry: a null one or zeroed storage.
      case VT_VARIANT:
      case VT_VOID:
      case VT_PTR:
      case VT_SAFEARRAY:
      case VT_CARRAY:
      case VT_USERDEFINED:
      case VT_LPSTR:
      case VT_LPWSTR:
      case VT_BLOB:
      case VT_STREAM:
      case VT_STORAGE:
      case VT_STREAMED_OBJECT:
      case VT_STORED_OBJECT:
      case VT_BLOB_OBJECT:
      case VT_CF:
      case VT_CLSID:
      case VT_VERSIONED_STREAM:
      case VT_BSTR_BLOB:
      case 15:
      case 0x7FF:
        value.byref = random_.OneIn(2) ? nullptr : NewCell()->bytes;
        Log(value.byref == nullptr ? "null" : "zeros");
        break;
      default:
        value.ullVal = random_.OneIn(2) ? random_.Pick(kBits) : random_.Next() >> random_.Below(64);
        Log("bits %llx", static_cast<unsigned long long>(value.ullVal));
    }
  }

  FuzzCall& call_;
  Random& random_;
  std::string* log_;
};

FuzzCall::FuzzCall(uint64_t seed, uint64_t index, std::string* log) {
  for (VARIANT& argument : arguments_) VariantInit(&argument);
  VariantInit(&result_);
  Random mixer(seed ^ (index * 0xD1B54A32D192ED03ull));
  Random random(mixer.Next());
  Builder builder(*this, random, log);
  if (random.OneIn(6)) {
    builder.NameLookup();
  } else {
    builder.Invoke();
  }
  snapshot_ = Snapshot();
}

FuzzCall::~FuzzCall() {
  for (SAFEARRAY* array : arrays_) SafeArrayDestroy(array);
  for (BSTR text : strings_) SysFreeString(text);
}

bool FuzzCall::NamesComparable() const noexcept {
  if (!withNames_ || !withIds_) return false;
  for (UINT n = 0; n < nameCount_; ++n) {
    if (names_[n] == nullptr) return false;
  }
  return true;
}

std::string FuzzCall::Snapshot() const {
  std::string bytes(reinterpret_cast<const char*>(arguments_), sizeof arguments_);
  bytes.append(reinterpret_cast<const char*>(namedArguments_), sizeof namedArguments_);
  for (const auto& cell : cells_) bytes.append(reinterpret_cast<const char*>(cell->bytes), sizeof cell->bytes);
  for (SAFEARRAY* array : arrays_) {
    bytes.append(reinterpret_cast<const char*>(array), sizeof *array);
    if (array->pvData != nullptr) {
      bytes.append(static_cast<const char*>(array->pvData), array->cbElements * array->rgsabound[0].cElements);
    }
  }
  for (BSTR text : strings_) bytes.append(reinterpret_cast<const char*>(text), SysStringByteLen(text));
  return bytes;
}

bool FuzzCall::ArgumentsUnchanged() const noexcept { return Snapshot() == snapshot_; }

void FuzzCall::FreeReturned() noexcept {
  if (withResult_) VariantClear(&result_);
  if (withException_) {
    SysFreeString(exception_.bstrSource);
    SysFreeString(exception_.bstrDescription);
    SysFreeString(exception_.bstrHelpFile);
    exception_.bstrSource = exception_.bstrDescription = exception_.bstrHelpFile = nullptr;
  }
}

}  // namespace pellmora::testing
