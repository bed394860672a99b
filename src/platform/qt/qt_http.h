// The content server's blocking fetch on the desktop: the transfer runs on a
// worker thread while the user-interface thread waits in an event loop of
// its own that keeps the windows painted (expose, resize, repaint) but takes
// no input. The backend's calls into the program's handlers wait at the
// gate meanwhile, so the handler that asked gets its answer before anything
// else of the program runs, as if the fetch had held the thread.
#pragma once

#include <atomic>

#include "platform/http.h"
#include "platform/qt/delivery_gate.h"

namespace tav::qt {

// The gate of the desktop backend's calls into the program (one per process,
// on the user-interface thread).
DeliveryGate& model_gate();

class QtHttp final : public Http {
 public:
  // inner: the blocking fetch that runs on the worker thread.
  QtHttp(Http& inner, DeliveryGate& gate) : inner_(inner), gate_(gate) {}
  std::string get(std::string_view url) override;
  bool still_executing() const override { return inner_.still_executing(); }
  void cancel() override { inner_.cancel(); }

 private:
  Http& inner_;
  DeliveryGate& gate_;
};

}  // namespace tav::qt
