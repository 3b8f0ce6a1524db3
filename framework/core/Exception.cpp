#include "core/Exception.h"
