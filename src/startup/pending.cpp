// Entry points of the main window whose behaviour arrives with later work.
#include "forms/ba1.h"

namespace tav {

void BA1::Form_LinkExecute(const std::string&) {}

void BA1::l_com(const std::string&) {}

}  // namespace tav
