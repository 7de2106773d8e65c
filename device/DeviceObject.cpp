#include "device/AtapiDevice.h"
