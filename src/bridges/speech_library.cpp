// Whether the agent's speech library can be used, for those that only need to know.
#include "bridges/speech_library.h"

namespace morivel::bridges {

std::string speech_library_problem() {
#ifdef MORIVEL_HAVE_ESPEAK
  return SpeechLibrary::Problem();
#else
  return "built without speech";
#endif
}

}  // namespace morivel::bridges
