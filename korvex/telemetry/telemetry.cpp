// Decoders of the station's packets, registered in the link's APID handler table.
#include "telemetry/telemetry.h"

#include "core/station.h"
#include "telemetry/messages.h"

namespace korvex {

namespace {

constexpr int kSpacecraftApids[] = {0x00B, 0x00C, 0x00D, 0x01C, 0x01E};

// Spacecraft packets feed the spacecraft watchdog; the first one after a reported gap says so.
void SpacecraftPacket(Program& p, const std::uint8_t*) {
  if (p.core.spcDog == 61) LogMessage(msg::kSpacecraftResumed, kGreen);
  p.core.spcDog = 0;
}

}  // namespace

void InstallTelemetry(Program& p) {
  for (int apid : kSpacecraftApids) p.link.handlers.add(apid, SpacecraftPacket);
}

}  // namespace korvex
