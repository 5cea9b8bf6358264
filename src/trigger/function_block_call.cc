#include "trigger/function_block_call.h"
