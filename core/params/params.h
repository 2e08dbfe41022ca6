// Parameter types, parameter sets and diagnostics in one include.
#pragma once

#include "core/params/paramtype.h"
#include "core/params/parameter.h"
#include "core/params/error.h"
