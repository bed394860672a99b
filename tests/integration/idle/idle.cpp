// A program that does nothing for a minute: copied under the player suite's
// process names, it stands in for them in the process tests.
#include <chrono>
#include <thread>

int main() { std::this_thread::sleep_for(std::chrono::seconds(60)); }
