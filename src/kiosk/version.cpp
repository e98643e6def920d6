#include "kiosk/version.h"
