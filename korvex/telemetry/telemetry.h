// The telemetry module: database files and the decoders of the station's packets.
#pragma once

namespace korvex {

struct Program;

// Registers the decoders in the APID handler table: so far the spacecraft packets, which feed
// the spacecraft telemetry watchdog.
void InstallTelemetry(Program& p);

}  // namespace korvex
