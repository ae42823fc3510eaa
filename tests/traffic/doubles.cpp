#include "service_doubles.h"
