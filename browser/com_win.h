// Owners for COM resources: interface pointers, variants and strings. Each
// releases what it holds when it goes out of scope.
#pragma once

#include <oaidl.h>
#include <objbase.h>
#include <oleauto.h>

#include <string_view>
#include <utility>

namespace vellum {

// One counted reference to a COM interface.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(const ComPtr& other) : p_(other.p_) {
    if (p_ != nullptr) p_->AddRef();
  }
  ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ComPtr& operator=(ComPtr other) noexcept {
    std::swap(p_, other.p_);
    return *this;
  }
  ~ComPtr() { Reset(); }

  // Takes over a reference that the caller already counted.
  static ComPtr Adopt(T* p) {
    ComPtr result;
    result.p_ = p;
    return result;
  }
  // Adds a reference of its own.
  static ComPtr Share(T* p) {
    if (p != nullptr) p->AddRef();
    return Adopt(p);
  }

  void Reset() {
    if (p_ != nullptr) std::exchange(p_, nullptr)->Release();
  }
  T* Get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // For calls that hand out a new reference; whatever was held is released.
  T** Put() {
    Reset();
    return &p_;
  }

  // QueryInterface for another interface; empty when it is not there.
  template <typename U>
  ComPtr<U> As(REFIID iid) const {
    ComPtr<U> result;
    if (p_ != nullptr && FAILED(p_->QueryInterface(iid, reinterpret_cast<void**>(result.Put()))))
      result.Reset();
    return result;
  }

 private:
  T* p_ = nullptr;
};

// A VARIANT cleared when it goes out of scope.
class Variant {
 public:
  Variant() { VariantInit(&v_); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  ~Variant() { VariantClear(&v_); }
  VARIANT* Put() {
    VariantClear(&v_);
    return &v_;
  }
  const VARIANT& Get() const { return v_; }
  VARIANT* Ptr() { return &v_; }

 private:
  VARIANT v_;
};

// A BSTR freed when it goes out of scope.
class Bstr {
 public:
  explicit Bstr(std::wstring_view text)
      : s_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  ~Bstr() { SysFreeString(s_); }
  BSTR Get() const { return s_; }
  explicit operator bool() const { return s_ != nullptr; }

 private:
  BSTR s_;
};

}  // namespace vellum
