; checkout version 1.2: short functional check of the processor and the magnetometer
rem checkout started
let limit = 5
/IDPUClearErrors
wait 3
wait until IErrorCount < 1
start magcheck
if (IErrorCount > limit) /IDPUTableDump 1, rem errors seen during the checkout
wait 5
/IDPUTlmNominal
rem checkout finished
