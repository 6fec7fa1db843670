#include "OrvalenAccount/OrvalenDeprecationNotice.h"
