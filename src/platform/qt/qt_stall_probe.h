// A measuring aid for developers: how long the user-interface thread goes
// without turning its event loop (no repaint, no input handled).
//
// With TAVORI_STALL_LOG=FILE in the environment, a 5 ms timer on the
// thread that calls start_stall_probe() appends to FILE
//   armed T          once, when the probe starts
//   gap T MS         for every pause between two turns of MS >= 6 ms
// T in microseconds since the epoch (the end of the pause), MS in
// milliseconds. The first pause runs from the probe's start to the first
// turn of the loop. Without the variable nothing happens.
#pragma once

namespace tav::qt {

void start_stall_probe();

}  // namespace tav::qt
