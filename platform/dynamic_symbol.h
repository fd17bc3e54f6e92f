// Looking up a function of a library opened at run time (dlopen) into a typed slot.
#pragma once

#include <dlfcn.h>

namespace corvina::platform {

// Sets `slot` to the function `name` of `handle` (or of what it brought in); false when absent.
template <typename F>
bool BindSymbol(void* handle, const char* name, F& slot) {
  slot = reinterpret_cast<F>(dlsym(handle, name));
  return slot != nullptr;
}

}  // namespace corvina::platform
