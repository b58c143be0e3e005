#include "common/date_time_forms.h"
