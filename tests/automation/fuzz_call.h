// One generated late-bound call for the dispatch fuzzer: an Invoke (any DISPID, any flags,
// DISPPARAMS whose counts agree with the arrays or not, arguments of every VARTYPE with and
// without VT_BYREF, VT_ARRAY and VT_VECTOR, by-reference variant chains, null strings and
// pointers, a null or filled result, null or given EXCEPINFO and puArgErr) or a GetIDsOfNames.
// The same seed and index always give the same call, so each call can be replayed alone. The call
// owns what it made and frees exactly that: whatever the callee hands back is the caller's to free.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "support/platform.h"

namespace pellmora::testing {

// An object argument: answers its value (DISPID_VALUE) with a text and counts its references, so a
// reference the callee keeps shows.
class ProbeObject final : public IDispatch {
 public:
  ULONG References() const noexcept { return references_; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override { return --references_; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                                   UINT*) override;

 private:
  ULONG references_ = 1;  // the call's own
};

class FuzzCall {
 public:
  static constexpr UINT kCapacity = 6;

  // Builds call `index` of the run seeded with `seed`; `log` (if given) receives a description.
  FuzzCall(uint64_t seed, uint64_t index, std::string* log);
  ~FuzzCall();
  FuzzCall(const FuzzCall&) = delete;
  FuzzCall& operator=(const FuzzCall&) = delete;

  bool IsNameLookup() const noexcept { return nameLookup_; }

  // Invoke's parameters. Result(), Exception() and ArgumentError() are null or the call's own,
  // prepared with recognisable values.
  DISPID id = 0;
  WORD flags = 0;
  LCID lcid = 0;
  DISPPARAMS* Params() noexcept { return withoutParams_ ? nullptr : &params_; }
  VARIANT* Result() noexcept { return withResult_ ? &result_ : nullptr; }
  EXCEPINFO* Exception() noexcept { return withException_ ? &exception_ : nullptr; }
  UINT* ArgumentError() noexcept { return withArgumentError_ ? &argumentError_ : nullptr; }

  // GetIDsOfNames' parameters.
  LPOLESTR* Names() noexcept { return withNames_ ? names_ : nullptr; }
  UINT NameCount() const noexcept { return nameCount_; }
  DISPID* Ids() noexcept { return withIds_ ? ids_ : nullptr; }
  // Whether the type information can be asked the same (it is given no null pointer).
  bool NamesComparable() const noexcept;

  // Whether the arguments (the variants and everything they point at) are as they were built.
  bool ArgumentsUnchanged() const noexcept;
  // Frees what the callee handed back in the result and EXCEPINFO.
  void FreeReturned() noexcept;
  // References still held on the call's object argument beyond its own.
  ULONG ObjectReferencesKept() const noexcept { return probe_.References() - 1; }

 private:
  struct Cell;
  class Builder;
  friend class Builder;

  bool nameLookup_ = false;
  bool withoutParams_ = false;
  bool withResult_ = false;
  bool withException_ = false;
  bool withArgumentError_ = false;
  bool withNames_ = true;
  bool withIds_ = true;

  VARIANT arguments_[kCapacity];
  DISPID namedArguments_[kCapacity] = {};
  DISPPARAMS params_ = {};
  VARIANT result_;
  EXCEPINFO exception_ = {};
  UINT argumentError_ = 0;

  std::vector<std::wstring> nameTexts_;
  LPOLESTR names_[kCapacity] = {};
  UINT nameCount_ = 0;
  DISPID ids_[kCapacity] = {};

  // What the call made and frees: strings, arrays, storage that by-reference arguments point at.
  std::vector<BSTR> strings_;
  std::vector<SAFEARRAY*> arrays_;
  std::vector<std::unique_ptr<Cell>> cells_;
  ProbeObject probe_;
  // The bytes of the arguments and of every cell as built.
  std::string snapshot_;
  std::string Snapshot() const;
};

}  // namespace pellmora::testing
