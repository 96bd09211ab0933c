#pragma once

// Tests drive the model libraries with the same host code as the link simulator.
#include "tools/host/AmiLibrary.h"
