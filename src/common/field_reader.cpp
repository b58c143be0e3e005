#include "common/field_reader.h"
