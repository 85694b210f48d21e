#include "automation/connection_string_shells.h"

#include <new>

#include "automation/connection_string.h"
#include "module/server_module.h"

namespace pellmora {

namespace {

// Written into the count of an object being destroyed: no AddRef/Release pair during teardown
// can bring it back to 0 and destroy the object twice.
constexpr LONG kDestroyingCount = -1073741823;  // 0xC0000001

// The standalone object: counts its own references; its identity is the IConnectionString
// entry point. Objects live in one apartment, so the count is plain.
class ConnectionStringObject final : public ConnectionString {
 public:
  ConnectionStringObject() noexcept { LockModule(); }
  ~ConnectionStringObject() override {
    count_ = kDestroyingCount;
    UnlockModule();
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) noexcept override {
    return FindInterface(static_cast<ConnectionString*>(this), Interfaces(), iid, out);
  }
  ULONG STDMETHODCALLTYPE AddRef() noexcept override { return static_cast<ULONG>(++count_); }
  ULONG STDMETHODCALLTYPE Release() noexcept override {
    const LONG count = --count_;
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
  }

 private:
  LONG count_ = 0;
};

// The core inside an aggregate: every IUnknown call goes to the outer object, which is not
// counted here (it outlives the inner object by the rules of aggregation).
class ContainedConnectionString final : public ConnectionString {
 public:
  explicit ContainedConnectionString(IUnknown* outer) noexcept : outer_(outer) {}
  ~ContainedConnectionString() override = default;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) noexcept override {
    return outer_->QueryInterface(iid, out);
  }
  ULONG STDMETHODCALLTYPE AddRef() noexcept override { return outer_->AddRef(); }
  ULONG STDMETHODCALLTYPE Release() noexcept override { return outer_->Release(); }

 private:
  IUnknown* outer_;
};

// The aggregatable object: the outer object holds its inner, non-delegating IUnknown; the
// interfaces it hands out belong to the contained core and count on the outer object.
class ConnectionStringAggregate final : public IUnknown {
 public:
  explicit ConnectionStringAggregate(IUnknown* outer) noexcept : core_(outer) { LockModule(); }
  virtual ~ConnectionStringAggregate() {
    count_ = kDestroyingCount;
    UnlockModule();
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) noexcept override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (IsEqualIID(iid, IID_IUnknown)) {
      *out = static_cast<IUnknown*>(this);
      AddRef();
      return S_OK;
    }
    return FindInterface(static_cast<ConnectionString*>(&core_), ConnectionString::Interfaces(), iid, out);
  }
  ULONG STDMETHODCALLTYPE AddRef() noexcept override { return static_cast<ULONG>(++count_); }
  ULONG STDMETHODCALLTYPE Release() noexcept override {
    const LONG count = --count_;
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
  }

 private:
  LONG count_ = 0;
  ContainedConnectionString core_;
};

// Builds `Shell` with `arguments` and answers `iid` from it; a failed answer destroys it again.
template <class Shell, class... Arguments>
HRESULT CreateShell(REFIID iid, void** out, Arguments... arguments) noexcept {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  Shell* object = nullptr;
  try {
    object = new Shell(arguments...);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  const HRESULT result = object->QueryInterface(iid, out);
  if (result != S_OK) {
    *out = nullptr;
    delete object;
  }
  return result;
}

}  // namespace

HRESULT CreateConnectionString(IUnknown* outer, REFIID iid, void** out) noexcept {
  if (outer == nullptr) return CreateShell<ConnectionStringObject>(iid, out);
  return CreateShell<ConnectionStringAggregate>(iid, out, outer);
}

}  // namespace pellmora
