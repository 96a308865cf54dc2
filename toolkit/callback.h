#pragma once

#include <functional>

namespace Vy {

// Bind makes a type-erased callable of a member function of `object`; a null object or
// function gives an empty callable.
template <typename T, typename R, typename... Args>
std::function<R(Args...)> Bind(T* object, R (T::*method)(Args...)) {
  if (!object || !method) return {};
  return [object, method](Args... args) { return (object->*method)(std::forward<Args>(args)...); };
}

}  // namespace Vy
