// Runs an event handler for a platform callback (a window procedure, a COM
// method, a GLib signal, a hook): nothing may leave such a callback, so a
// failure is reported on standard error and the callback goes on as if the
// handler had finished.
#pragma once

#include <cstdio>
#include <exception>

namespace vellum {

// True when the handler ran to its end.
template <typename F>
bool Guarded(F&& handler) noexcept {
  try {
    handler();
    return true;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "vellum: %s\n", error.what());
  } catch (...) {
    std::fprintf(stderr, "vellum: unexpected failure in an event handler\n");
  }
  return false;
}

}  // namespace vellum
