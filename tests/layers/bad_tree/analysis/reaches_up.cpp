#include "analysis/processing_state.h"
#include "avi/avi_writer.h"
