// Compiled as a view is, this must not build: views never reach the core's services.
#include "services/TrashService.h"
