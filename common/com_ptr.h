#pragma once

#include <windows.h>
#include <oleauto.h>

#include <utility>

namespace zvu {

// Holds one reference to a COM interface and releases it once.
template <typename Interface>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() { reset(); }

  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ComPtr(ComPtr&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) {
      reset();
      ptr_ = std::exchange(other.ptr_, nullptr);
    }
    return *this;
  }

  Interface* get() const { return ptr_; }
  Interface* operator->() const { return ptr_; }
  explicit operator bool() const { return ptr_ != nullptr; }

  void reset() {
    if (ptr_ != nullptr) std::exchange(ptr_, nullptr)->Release();
  }
  // For out-parameters: releases the current reference and exposes the slot.
  Interface** put() {
    reset();
    return &ptr_;
  }
  void** put_void() { return reinterpret_cast<void**>(put()); }

 private:
  Interface* ptr_ = nullptr;
};

// One COM initialisation of the calling thread, undone on destruction when
// it succeeded (S_OK or S_FALSE both count and must be balanced). A thread
// already in the other apartment model (RPC_E_CHANGED_MODE) keeps using
// COM as it is, and nothing is undone.
class ComInitialization {
 public:
  explicit ComInitialization(DWORD model = COINIT_APARTMENTTHREADED)
      : result_(CoInitializeEx(nullptr, model)) {}
  ~ComInitialization() {
    if (SUCCEEDED(result_)) CoUninitialize();
  }
  ComInitialization(const ComInitialization&) = delete;
  ComInitialization& operator=(const ComInitialization&) = delete;

  HRESULT result() const { return result_; }
  // COM can be used on this thread.
  bool usable() const { return SUCCEEDED(result_) || result_ == RPC_E_CHANGED_MODE; }

 private:
  HRESULT result_;
};

// Owns one BSTR.
class UniqueBstr {
 public:
  UniqueBstr() = default;
  explicit UniqueBstr(BSTR text) : text_(text) {}
  ~UniqueBstr() { reset(); }

  UniqueBstr(const UniqueBstr&) = delete;
  UniqueBstr& operator=(const UniqueBstr&) = delete;

  BSTR get() const { return text_; }
  UINT length() const { return SysStringLen(text_); }
  void reset(BSTR text = nullptr) {
    if (text_ != nullptr) SysFreeString(text_);
    text_ = text;
  }
  BSTR* put() {
    reset();
    return &text_;
  }

 private:
  BSTR text_ = nullptr;
};

// Owns one VARIANT and clears it once.
class UniqueVariant {
 public:
  UniqueVariant() { VariantInit(&value_); }
  ~UniqueVariant() { VariantClear(&value_); }

  UniqueVariant(const UniqueVariant&) = delete;
  UniqueVariant& operator=(const UniqueVariant&) = delete;

  VARIANT& get() { return value_; }
  // Clears the current value and exposes the slot for an out-parameter.
  VARIANT* put() {
    VariantClear(&value_);
    return &value_;
  }

 private:
  VARIANT value_;
};

}  // namespace zvu
