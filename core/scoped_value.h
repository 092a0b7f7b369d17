// Sets a variable for the length of a scope and puts the old value back,
// also when an exception leaves the scope.
#pragma once

namespace vellum {

template <typename T>
class ScopedValue {
 public:
  ScopedValue(T& variable, T value) : variable_(variable), old_(variable) { variable_ = value; }
  ScopedValue(const ScopedValue&) = delete;
  ScopedValue& operator=(const ScopedValue&) = delete;
  ~ScopedValue() { variable_ = old_; }

 private:
  T& variable_;
  T old_;
};

}  // namespace vellum
