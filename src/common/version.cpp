#include "common/version.h"

namespace membrix {

const char* ProgramTitle() { return kProgramTitle; }

}  // namespace membrix
