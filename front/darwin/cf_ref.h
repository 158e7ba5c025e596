#pragma once

#include <CoreFoundation/CoreFoundation.h>

namespace zorvik {

/// Owns one CoreFoundation reference (a Create or Copy result) and releases it once.
template <typename Ref>
class CFRef {
 public:
  CFRef() = default;
  explicit CFRef(Ref ref) : ref_(ref) {}
  ~CFRef() { reset(); }
  CFRef(const CFRef&) = delete;
  CFRef& operator=(const CFRef&) = delete;
  CFRef(CFRef&& other) noexcept : ref_(other.ref_) { other.ref_ = nullptr; }
  CFRef& operator=(CFRef&& other) noexcept {
    if (this != &other) {
      reset();
      ref_ = other.ref_;
      other.ref_ = nullptr;
    }
    return *this;
  }

  Ref get() const { return ref_; }
  explicit operator bool() const { return ref_ != nullptr; }

  /// Releases what is held and hands out the slot for a Copy call to fill.
  Ref* out() {
    reset();
    return &ref_;
  }

  void reset() {
    if (ref_ != nullptr) CFRelease(ref_);
    ref_ = nullptr;
  }

 private:
  Ref ref_ = nullptr;
};

}  // namespace zorvik
