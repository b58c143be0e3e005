#include "install/driver_installer.h"
