// Everything of the host a module or the stand-in host needs, in one include.
#pragma once

#include "lwdisplace.h"
#include "lwgenerations.h"
#include "lwhandler.h"
#include "lwio.h"
#include "lwmodule.h"
#include "lwnodes.h"
#include "lwnodes2018.h"
#include "lwrender.h"
#include "lwtypes.h"
#include "lwxpanel.h"
