// The telemetry module: database files and the decoders of the station's packets.
#pragma once

#include <string>

namespace korvex {

struct Program;

// Registers the decoders in the APID handler table: processor housekeeping (0x200), table and
// memory dumps (0x201) and the spacecraft packets.
void InstallTelemetry(Program& p);

// Reads the database files in their order (processor items, error texts, APID list, stored
// sequences, table definitions, SEP items, companion items, spacecraft items and labels), labels
// the panels and lights the splash lamps. A missing file may be replaced through the file
// dialog. What the loaders skip goes to the core's load notes. False: the operator was told
// why and the station ends.
bool LoadDatabases(Program& p);

// Last value of a telemetry item by name (999999.999999 when no table has it).
double GetValue(const std::string& name);
// Hands an alarm text to the e-mail alerts.
void ToEmail(const std::string& text);

}  // namespace korvex
