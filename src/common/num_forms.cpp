#include "common/num_forms.h"
