#include "trigger/counting_loop.h"
