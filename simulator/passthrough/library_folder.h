// The folder this library was loaded from (its scenario lies beside it).
#ifndef SIMULATOR_PASSTHROUGH_LIBRARY_FOLDER_H
#define SIMULATOR_PASSTHROUGH_LIBRARY_FOLDER_H

#include <string>

namespace sim {

std::string libraryFolder();

}  // namespace sim

#endif
