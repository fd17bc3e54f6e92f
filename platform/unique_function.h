// A move-only callable wrapper, so a posted task can own what it carries (a parsed message in
// a std::unique_ptr, say), which std::function cannot since it must be copyable.
#pragma once

#include <concepts>
#include <cstddef>
#include <functional>
#include <memory>
#include <type_traits>
#include <utility>

namespace corvina::platform {

template <typename Signature>
class UniqueFunction;

template <typename R, typename... Args>
class UniqueFunction<R(Args...)> {
 public:
  UniqueFunction() = default;
  UniqueFunction(std::nullptr_t) {}  // NOLINT: an empty function, as with std::function
  template <typename F>
    requires(!std::same_as<std::remove_cvref_t<F>, UniqueFunction> && std::is_invocable_r_v<R, std::decay_t<F>&, Args...>)
  UniqueFunction(F&& f)  // NOLINT: converts from any callable, as std::function does
      : callable_(std::make_unique<Model<std::decay_t<F>>>(std::forward<F>(f))) {}

  UniqueFunction(UniqueFunction&&) noexcept = default;
  UniqueFunction& operator=(UniqueFunction&&) noexcept = default;
  UniqueFunction(const UniqueFunction&) = delete;
  UniqueFunction& operator=(const UniqueFunction&) = delete;

  explicit operator bool() const { return callable_ != nullptr; }
  // Calling an empty function is a programming error.
  R operator()(Args... args) { return callable_->Invoke(std::forward<Args>(args)...); }

 private:
  struct Concept {
    virtual ~Concept() = default;
    virtual R Invoke(Args&&... args) = 0;
  };
  template <typename F>
  struct Model final : Concept {
    template <typename G>
    explicit Model(G&& g) : f(std::forward<G>(g)) {}
    R Invoke(Args&&... args) override { return std::invoke(f, std::forward<Args>(args)...); }
    F f;
  };

  std::unique_ptr<Concept> callable_;
};

}  // namespace corvina::platform
