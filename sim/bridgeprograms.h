#pragma once
// The bridge programs' executable names, as the process list shows them: the
// simulator reader starts and ends them, and the program ends them when it
// closes.
namespace BridgePrograms {
inline constexpr const char *Msfs2020 = "DrevantMSFS2020Sim.exe";
inline constexpr const char *Prepar3d = "DrevantPrepar3dSim.exe";
inline constexpr const char *All[] = {Msfs2020, Prepar3d};
} // namespace BridgePrograms
