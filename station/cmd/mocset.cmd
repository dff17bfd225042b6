; mocset version 1.0: run by the station after it first connects to the MOC telemetry server
rem MOC telemetry set-up
set moc stream realtime
