// The two advertisement windows: adsb, floating at the lower right of the
// screen, and ba4, the notice shown on the way out. Each holds one browser
// panel with a close picture laid over the page.
#pragma once

#include "forms/browser.h"
#include "forms/form.h"

namespace tav {

class BA1;

class AdWindow : public Form {
 public:
  // page: the address the panel shows; close_size: the close picture's.
  AdWindow(BA1& main, std::string name, std::string page, std::string close_picture,
           Rect close_size);

  BA1& main;
  Control& Picture1;  // declared first: it lies over the page
  Control& Pc1;
  Browser& Web1;

  // Lays the panel past the picture box's edges (so that the browser's own
  // border is never seen) and the close picture in the top right corner.
  void Form_Resize();
  // Shows the window and its page.
  virtual void Form_Load() = 0;
  // Closes the window: the page goes, the window is unloaded.
  std::function<void()> on_unload;

 protected:
  void unload_self();
  const std::string page_;

 private:
  int close_right_;  // distance of the close picture's left edge from the right
  int close_top_;
};

class Adsb final : public AdWindow {
 public:
  explicit Adsb(BA1& main);
  void Form_Load() override;
};

class Ba4 final : public AdWindow {
 public:
  explicit Ba4(BA1& main);
  void Form_Load() override;
  Timer& Timer1;
};

}  // namespace tav
