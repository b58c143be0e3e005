#include "common/text_file.h"
