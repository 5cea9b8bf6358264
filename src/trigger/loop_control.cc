#include "trigger/loop_control.h"
