#pragma once

// Tests drive the model libraries with the same host code as the link simulator.
#include "sim/host/AmiLibrary.h"
