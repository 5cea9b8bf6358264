#include "trigger/evaluation.h"
