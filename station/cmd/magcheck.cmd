; magcheck version 2.0: magnetometer range and calibration check, started by checkout
rem magnetometer check
/MAGRangeHigh
wait 2
/MAGCalOn
wait 5
/MAGCalOff
/MAGRangeLow
rem magnetometer check done
