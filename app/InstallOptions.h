// The installation options record the dialog keeps: the engine's own declaration.
#pragma once

#include "engine/engine.h"
