// The receiver library's exported AMI entry points.
#include "ami/AmiEntryPoints.h"
#include "rx/KelvaneRx.h"

KELVANE_AMI_ENTRY_POINTS(kelvane_rx)
