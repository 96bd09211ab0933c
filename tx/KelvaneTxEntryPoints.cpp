// The transmitter library's exported AMI entry points.
#include "ami/AmiEntryPoints.h"
#include "tx/KelvaneTx.h"

KELVANE_AMI_ENTRY_POINTS(kelvane_tx)
