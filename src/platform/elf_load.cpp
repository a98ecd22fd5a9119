// Start of the platform in an ELF shared object (or program): the object's
// constructor runs on the loading thread when dlopen or the dynamic linker
// maps it, before the host can call any export.
#include "platform/platform.h"

namespace {

__attribute__((constructor)) void library_loaded() {
    morvante::platform::backend.start();
}

}  // namespace
