#include "trigger/switch_node.h"
