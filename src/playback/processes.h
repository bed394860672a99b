// Finding and ending the player suite's processes.
#pragma once

#include <cstdint>
#include <string_view>

namespace tav {

class Processes;

inline constexpr std::string_view kQvodPlayer = "QvodPlayer.exe";
inline constexpr std::string_view kQvodTerminal = "QvodTerminal.exe";

// The id of the first process whose image name contains the text (case
// sensitive), or 0.
std::uint32_t findProcessId(const Processes& processes, std::string_view text);
bool terminateProcess(Processes& processes, std::uint32_t id);
// Ends the first process whose image name contains the name.
void killProcessByName(Processes& processes, std::string_view name);

}  // namespace tav
