// vellum-check --bounds: whether the viewer opens where it was closed.
#pragma once

namespace vellum {

// Starts and closes the viewer beside this program twice and prints the
// window's saved bounds after each close, then "N passed, M failed". The exit
// code: 0 when the bounds stayed, 1 otherwise.
int CheckBounds();

}  // namespace vellum
